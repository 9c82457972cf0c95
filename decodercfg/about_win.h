// The About window and its "System Info..." button.
#pragma once

#include <windows.h>

#include <string>

namespace q5r {

void ShowAbout(HINSTANCE instance, HWND owner);

// Reads a REG_SZ or REG_DWORD value as text. False (and `value` empty) when
// the key or value cannot be read; other types leave `value` as it was.
bool GetKeyValue(HKEY root, const std::string& keyName, const std::string& valueName,
                 std::string& value);

// Starts the system information program, or says it is unavailable.
void StartSysInfo(HWND owner);

}  // namespace q5r
