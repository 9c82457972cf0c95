#include "about_win.h"

#include <cstring>

#include "handle_win.h"
#include "mainwindow_win.h"
#include "msgbox_win.h"
#include "resource.h"
#include "text_win.h"

namespace q5r {

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wp, LPARAM) noexcept {
  switch (msg) {
    case WM_INITDIALOG: {
      // The title is set in Times New Roman; the font lives as long as the box.
      HDC dc = GetDC(dialog);
      const int height = -MulDiv(14, GetDeviceCaps(dc, LOGPIXELSY), 72);
      ReleaseDC(dialog, dc);
      HFONT title = CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                0, 0, L"Times New Roman");
      SetPropW(dialog, L"TitleFont", title);
      SendDlgItemMessageW(dialog, IDC_ABOUT_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(title), FALSE);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDC_SYSINFO:
          StartSysInfo(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      DeleteObject(RemovePropW(dialog, L"TitleFont"));
      return FALSE;
    default:
      return FALSE;
  }
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void ShowAbout(HINSTANCE instance, HWND owner) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, 0);
}

bool GetKeyValue(HKEY root, const std::string& keyName, const std::string& valueName,
                 std::string& value) {
  HKEY raw = nullptr;
  if (RegOpenKeyExA(root, keyName.c_str(), 0, 0x2003F, &raw) != ERROR_SUCCESS) {
    value.clear();
    return false;
  }
  kit::UniqueKey key(raw);
  BYTE buffer[1024] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, buffer, &size) != ERROR_SUCCESS) {
    value.clear();
    return false;
  }
  if (size > 0 && buffer[size - 1] == 0) --size;
  if (type == REG_SZ) {
    value.assign(reinterpret_cast<const char*>(buffer), size);
  } else if (type == REG_DWORD && size >= 4) {
    DWORD number = 0;
    std::memcpy(&number, buffer, sizeof number);
    value = std::to_string(number);
  }
  return true;
}

void StartSysInfo(HWND owner) {
  std::string path;
  if (!GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", path)) {
    std::string folder;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO",
                    folder) &&
        FileExists(folder + "\\MSINFO32.EXE")) {
      path = folder + "\\MSINFO32.EXE";
    }
  }
  if (!path.empty()) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + path + "\"";
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi)) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
      return;
    }
  }
  kit::ShowMessage(owner, L"System Information Is Unavailable At This Time", kProgramTitle, MB_OK);
}

}  // namespace q5r
