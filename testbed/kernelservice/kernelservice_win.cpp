#include "kernelservice_win.h"

#include <utility>

#include "handle_win.h"
#include "registry_win.h"

namespace testbed {
namespace {

using UniqueService = kit::Unique<SC_HANDLE, &::CloseServiceHandle>;

UniqueService OpenManager() {
  return UniqueService(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

UniqueService OpenNamed(const std::string& name) {
  UniqueService manager = OpenManager();
  if (!manager) return UniqueService();
  return UniqueService(OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
}

DWORD QueryState(SC_HANDLE service, DWORD* exitCode) {
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service, &status)) return 0;
  if (exitCode != nullptr) {
    *exitCode = status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR
                    ? status.dwServiceSpecificExitCode
                    : status.dwWin32ExitCode;
  }
  return status.dwCurrentState;
}

// Waits while the service is in `pending`; answers the state it reached.
DWORD WaitWhile(SC_HANDLE service, DWORD pending, DWORD timeoutMs, DWORD* exitCode) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  DWORD state = QueryState(service, exitCode);
  while (state == pending && GetTickCount64() < end) {
    Sleep(50);
    state = QueryState(service, exitCode);
  }
  return state;
}

void StopAndDelete(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    WaitWhile(service, SERVICE_STOP_PENDING, 30000, nullptr);
  }
  DeleteService(service);
}

}  // namespace

KernelService::KernelService(std::string name, std::string sysFile)
    : name_(std::move(name)), sysFile_(std::move(sysFile)) {}

KernelService::~KernelService() {
  if (installed_) Remove();
}

std::string KernelService::KeyPath() const {
  return "SYSTEM\\CurrentControlSet\\Services\\" + name_;
}

bool KernelService::Install(std::string& error) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  const std::size_t slash = sysFile_.find_last_of("\\/");
  const std::string file = slash == std::string::npos ? sysFile_ : sysFile_.substr(slash + 1);
  installedFile_ = std::string(system) + "\\drivers\\" + file;
  // A 32-bit test program on 64-bit Windows sees SysWOW64 as system32; the
  // 64-bit system's drivers folder is Sysnative to it.
  copiedFile_ = installedFile_;
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    copiedFile_ = std::string(windows) + "\\Sysnative\\drivers\\" + file;
  }

  UniqueService manager = OpenManager();
  if (!manager) {
    error = "cannot open the service manager: error " + std::to_string(GetLastError());
    return false;
  }
  if (UniqueService old(OpenServiceA(manager.get(), name_.c_str(), SERVICE_ALL_ACCESS)); old) {
    StopAndDelete(old.get());
  }
  if (!CopyFileA(sysFile_.c_str(), copiedFile_.c_str(), FALSE)) {
    error = "cannot copy " + sysFile_ + " to " + copiedFile_ + ": error " +
            std::to_string(GetLastError());
    return false;
  }
  if (wow64) {
    // Wine marks a service that a 32-bit program creates "WOW64" and starts
    // it in its 32-bit driver host, which cannot load a 64-bit driver (the
    // Windows service manager has no such mark): the 64-bit sc creates it.
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string line = std::string(windows) + "\\Sysnative\\sc.exe create " + name_ +
                       " type= kernel start= demand error= normal binPath= \"" + installedFile_ + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    DWORD code = 1;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      WaitForSingleObject(pi.hProcess, 60000);
      GetExitCodeProcess(pi.hProcess, &code);
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
    if (code != 0) {
      error = "cannot create the service " + name_ + " with the 64-bit sc: exit code " + std::to_string(code);
      return false;
    }
  } else {
    UniqueService service(CreateServiceA(manager.get(), name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                         SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                         installedFile_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
      error = "cannot create the service " + name_ + ": error " + std::to_string(GetLastError());
      return false;
    }
  }
  installed_ = true;
  return true;
}

bool KernelService::SetParameter(const char* value, DWORD data) {
  kit::UniqueKey key;
  return kit::CreateKey(HKEY_LOCAL_MACHINE, KeyPath() + "\\Parameters", KEY_SET_VALUE, key) ==
             ERROR_SUCCESS &&
         kit::SetDword(key.get(), value, data) == ERROR_SUCCESS;
}

bool KernelService::SetParameterString(const char* value, const std::string& data) {
  kit::UniqueKey key;
  return kit::CreateKey(HKEY_LOCAL_MACHINE, KeyPath() + "\\Parameters", KEY_SET_VALUE, key) ==
             ERROR_SUCCESS &&
         kit::SetString(key.get(), value, data) == ERROR_SUCCESS;
}

bool KernelService::DeleteParameter(const char* value) {
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, KeyPath() + "\\Parameters", KEY_SET_VALUE, key) !=
      ERROR_SUCCESS) {
    return true;  // no key, no value
  }
  const LONG rc = kit::DeleteValue(key.get(), value);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool KernelService::DeleteParameters() {
  return kit::DeleteTree(HKEY_LOCAL_MACHINE, KeyPath() + "\\Parameters") == ERROR_SUCCESS;
}

DWORD KernelService::Start(DWORD timeoutMs) {
  UniqueService service = OpenNamed(name_);
  if (!service) return GetLastError();
  if (!StartServiceA(service.get(), 0, nullptr)) {
    const DWORD error = GetLastError();
    // The load's own status may still be recorded as the exit code.
    DWORD exitCode = 0;
    QueryState(service.get(), &exitCode);
    return exitCode != ERROR_SUCCESS ? exitCode : error;
  }
  DWORD exitCode = ERROR_SUCCESS;
  const DWORD state = WaitWhile(service.get(), SERVICE_START_PENDING, timeoutMs, &exitCode);
  if (state == SERVICE_RUNNING) return ERROR_SUCCESS;
  return exitCode != ERROR_SUCCESS ? exitCode : ERROR_SERVICE_REQUEST_TIMEOUT;
}

DWORD KernelService::Stop(DWORD timeoutMs) {
  UniqueService service = OpenNamed(name_);
  if (!service) return GetLastError();
  SERVICE_STATUS status = {};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return GetLastError();
  const DWORD state = WaitWhile(service.get(), SERVICE_STOP_PENDING, timeoutMs, nullptr);
  return state == SERVICE_STOPPED ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
}

bool KernelService::Remove() {
  UniqueService service = OpenNamed(name_);
  if (service) StopAndDelete(service.get());
  installed_ = false;
  // The driver host lets go of the file a moment after a driver ended (or
  // failed to start): until then it cannot be deleted.
  const ULONGLONG until = GetTickCount64() + 10000;
  for (;;) {
    if (DeleteFileA(copiedFile_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    if (GetTickCount64() >= until) return false;
    Sleep(50);
  }
}

DWORD KernelService::State() const {
  UniqueService service = OpenNamed(name_);
  return service ? QueryState(service.get(), nullptr) : 0;
}

std::string BesideThisProgram(const char* file) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  const std::size_t slash = folder.find_last_of("\\/");
  folder.resize(slash == std::string::npos ? 0 : slash + 1);
  return folder + file;
}

bool WaitForDevice(const wchar_t* path, bool present, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    kit::UniqueHandle device(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    if (static_cast<bool>(device) == present) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
}

}  // namespace testbed
