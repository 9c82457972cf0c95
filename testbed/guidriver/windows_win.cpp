// Finding and reading the windows of another process: top-level windows,
// controls, message boxes and the standard file dialogs.
#include <windows.h>
#include <dlgs.h>

#include <algorithm>
#include <cstdio>

#include "guidriver_win.h"

namespace guidriver {
namespace {

constexpr UINT kTimeoutMs = 2000;  // for one message to a window that should answer at once

std::wstring StripAmpersands(std::wstring_view caption) {
  std::wstring out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&') {
      if (i + 1 == caption.size()) break;
      ++i;  // "&&" is a literal '&'; "&x" is x
    }
    out += caption[i];
  }
  return out;
}

// A #32770 window with nothing but buttons and statics (an edit, list or
// combo means a file dialog or a dialog of the program's own), read in one pass.
std::optional<MessageBoxInfo> ReadMessageBox(HWND dialog) {
  if (ClassOf(dialog) != L"#32770") return std::nullopt;
  MessageBoxInfo box{dialog, Text(dialog), {}, {}};
  for (HWND child : Children(dialog)) {
    const std::wstring cls = ClassOf(child);
    if (cls != L"Button" && cls != L"Static") return std::nullopt;
    if (!IsWindowVisible(child)) continue;
    const std::wstring text = Text(child);
    if (cls == L"Button") {
      box.buttons.push_back(text);
    } else if (!text.empty() && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
      box.text += (box.text.empty() ? L"" : L"\n") + text;
    }
  }
  // A box caught while it is built or torn down has buttons without captions.
  if (box.buttons.empty() || std::ranges::count(box.buttons, L"") > 0) return std::nullopt;
  return box;
}

// The visible edit that holds the file name: edt1 in the classic dialog,
// an edit in the combo box cmb13 in the explorer-style one. In Wine 8 that
// is a ComboBoxEx32 > ComboBox > Edit chain, all three with ID cmb13.
HWND NameField(HWND dialog) {
  for (HWND edit : Children(dialog, {.className = L"Edit"})) {
    const int id = GetDlgCtrlID(edit);
    if (id == edt1 || id == cmb13 || GetDlgCtrlID(GetParent(edit)) == cmb13) return edit;
  }
  return nullptr;
}

void PostCommand(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Describe(HWND hwnd, int depth, std::wstring& out) {
  wchar_t head[96];
  std::swprintf(head, std::size(head), L"%*s%p id=%d %ls ", depth * 2, L"", static_cast<void*>(hwnd),
                GetDlgCtrlID(hwnd), IsWindowVisible(hwnd) ? L"visible" : L"hidden ");
  out += head + ClassOf(hwnd) + L" \"" + Text(hwnd) + L"\"\n";
  for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) Describe(c, depth + 1, out);
}

}  // namespace

std::wstring Text(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kTimeoutMs, &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256];
  const int n = GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
  return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool Matches(HWND hwnd, const WindowQuery& query) {
  if (query.visibleOnly && !IsWindowVisible(hwnd)) return false;
  if (!query.className.empty() && ClassOf(hwnd) != query.className) return false;
  if (query.caption.empty() && query.captionPrefix.empty()) return true;
  const std::wstring text = Text(hwnd);
  if (!query.caption.empty() && text != query.caption) return false;
  return text.starts_with(query.captionPrefix);
}

std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly) {
  struct Search {
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND> found;
  } search{pid, visibleOnly, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM param) noexcept CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->pid && (!s->visibleOnly || IsWindowVisible(hwnd))) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTopWindow(DWORD pid, const WindowQuery& query) {
  for (HWND hwnd : TopWindows(pid, query.visibleOnly)) {
    if (Matches(hwnd, query)) return hwnd;
  }
  return nullptr;
}

HWND WaitForWindow(DWORD pid, const WindowQuery& query, int timeoutMs) {
  HWND found = nullptr;
  Poll([&] { return (found = FindTopWindow(pid, query)) != nullptr; }, timeoutMs);
  return found;
}

std::vector<HWND> Children(HWND parent, const WindowQuery& query) {
  std::vector<HWND> all;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) noexcept CALLBACK -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  std::erase_if(all, [&query](HWND hwnd) { return !Matches(hwnd, query); });
  return all;
}

HWND FindChild(HWND parent, const WindowQuery& query) {
  const std::vector<HWND> found = Children(parent, query);
  return found.empty() ? nullptr : found.front();
}

void Close(HWND hwnd) { PostMessageW(hwnd, WM_CLOSE, 0, 0); }

std::wstring DescribeWindows(DWORD pid) {
  std::wstring out = L"windows of process " + std::to_wstring(pid) + L":\n";
  for (HWND hwnd : TopWindows(pid, false)) Describe(hwnd, 1, out);
  return out;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::optional<MessageBoxInfo> FindMessageBox(DWORD pid) {
  for (HWND hwnd : TopWindows(pid)) {
    if (auto box = ReadMessageBox(hwnd)) return box;
  }
  return std::nullopt;
}

std::optional<MessageBoxInfo> WaitMessageBox(DWORD pid, int timeoutMs) {
  std::optional<MessageBoxInfo> box;
  Poll([&] { return (box = FindMessageBox(pid)).has_value(); }, timeoutMs);
  return box;
}

bool NoMessageBox(DWORD pid, int ms) { return !WaitMessageBox(pid, ms); }

bool Press(HWND dialog, std::wstring_view caption) {
  const std::wstring wanted = StripAmpersands(caption);
  for (HWND button : Children(dialog, {.className = L"Button"})) {
    if (StripAmpersands(Text(button)) != wanted) continue;
    // WM_COMMAND to the button's parent is what a click ends in; unlike
    // BM_CLICK it does not depend on the dialog being the active window.
    return PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
  }
  return false;
}

std::optional<FileDialog> WaitFileDialog(DWORD pid, std::wstring_view caption, int timeoutMs) {
  std::optional<FileDialog> found;
  Poll(
      [&] {
        HWND dialog = FindTopWindow(pid, {.caption = std::wstring(caption), .className = L"#32770"});
        HWND name = dialog ? NameField(dialog) : nullptr;
        if (name) found = FileDialog{dialog, name};
        return name != nullptr;
      },
      timeoutMs);
  return found;
}

std::wstring FileName(const FileDialog& dialog) { return Text(dialog.nameField); }

bool SetFileName(const FileDialog& dialog, const std::wstring& path) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(dialog.nameField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                             SMTO_ABORTIFHUNG, kTimeoutMs, &result) &&
         result == TRUE && FileName(dialog) == path;
}

void PressOk(const FileDialog& dialog) { PostCommand(dialog.hwnd, IDOK); }

void PressCancel(const FileDialog& dialog) { PostCommand(dialog.hwnd, IDCANCEL); }

}  // namespace guidriver
