// The standard Open and Save As dialogs. comdlg32 (and what it pulls in:
// shell32, ole32 and more) is loaded the first time a dialog is shown, not
// when the program starts, so a program's first window is not held up by it.
#pragma once

#include <windows.h>

#include <string>

namespace kit {

struct FileDialogOptions {
  HWND owner = nullptr;
  const wchar_t* filter = nullptr;            // "Name\0*.ext\0" pairs
  const wchar_t* defaultExtension = nullptr;  // without the dot
  DWORD flags = 0;                            // OFN_* flags
  bool save = false;                          // Save As, else Open
};

// The chosen full path; empty when the user cancelled or the dialog could
// not be shown.
std::wstring AskFileName(const FileDialogOptions& options, const std::wstring& initial);

}  // namespace kit
