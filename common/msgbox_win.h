// The one way our programs show a modal message box.
#pragma once

#include <windows.h>

#include <string>

namespace kit {

// Returns the button pressed (IDOK, IDYES, IDNO, IDCANCEL, ...).
inline int ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption,
                       UINT flags = MB_OK) {
  return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

}  // namespace kit
