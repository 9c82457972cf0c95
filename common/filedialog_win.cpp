#include "filedialog_win.h"

#include <commdlg.h>

#include <vector>

namespace kit {

namespace {

using DialogFn = BOOL(WINAPI*)(OPENFILENAMEW*);

// comdlg32 stays loaded for the rest of the process once a dialog was shown.
DialogFn DialogEntry(bool save) {
  static HMODULE library = LoadLibraryW(L"comdlg32.dll");
  if (!library) return nullptr;
  return reinterpret_cast<DialogFn>(
      reinterpret_cast<void*>(GetProcAddress(library, save ? "GetSaveFileNameW" : "GetOpenFileNameW")));
}

}  // namespace

std::wstring AskFileName(const FileDialogOptions& options, const std::wstring& initial) {
  const DialogFn show = DialogEntry(options.save);
  if (!show) return {};
  std::vector<wchar_t> name(32768, L'\0');
  initial.copy(name.data(), name.size() - 1);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = options.owner;
  ofn.lpstrFilter = options.filter;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrDefExt = options.defaultExtension;
  ofn.Flags = options.flags;
  return show(&ofn) ? std::wstring(name.data()) : std::wstring();
}

}  // namespace kit
