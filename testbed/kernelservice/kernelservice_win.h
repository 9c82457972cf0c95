// Installs a kernel-mode driver as a demand-start service for a test, the
// way an administrator would with "sc create NAME type= kernel": copies the
// .sys file into %SystemRoot%\system32\drivers, creates the service, writes
// values of its "Parameters" key, starts and stops it. Under Wine the
// driver then runs inside winedevice.exe; the service manager needs a
// persistent wineserver (the ./kit session provides one).
//
//   testbed::KernelService driver("Tillport", testbed::BesideThisProgram("TillportSim.sys"));
//   driver.Install(error);
//   driver.SetParameter("IoPortCount", 4);
//   driver.Start();                      // ERROR_SUCCESS once it runs
//   testbed::WaitForDevice(L"\\\\.\\Tillport", true, 10000);
//   ...
//   driver.Stop(); driver.Remove();      // also done by the destructor
#pragma once

#include <windows.h>

#include <string>

namespace testbed {

class KernelService {
 public:
  // `name` is the service name; `sysFile` the full path of the built driver.
  KernelService(std::string name, std::string sysFile);
  // Stops and deletes the service if this object installed it.
  ~KernelService();
  KernelService(const KernelService&) = delete;
  KernelService& operator=(const KernelService&) = delete;

  // Copies the file and creates the service (an existing service of the
  // same name is stopped and deleted first). On failure `error` says why.
  bool Install(std::string& error);
  // "Parameters" values of the service key. DeleteParameters removes the key.
  bool SetParameter(const char* value, DWORD data);
  bool SetParameterString(const char* value, const std::string& data);
  bool DeleteParameter(const char* value);
  bool DeleteParameters();

  // Starts the driver and waits until it runs or its load has failed.
  // ERROR_SUCCESS when it runs; otherwise the Win32 error of the start or
  // the exit code the failed load left in the service status.
  DWORD Start(DWORD timeoutMs = 30000);
  // Stops the driver (its unload routine runs) and waits until it stopped.
  DWORD Stop(DWORD timeoutMs = 30000);
  // Deletes the service and its copied file.
  bool Remove();

  // The service's current state (SERVICE_RUNNING, SERVICE_STOPPED...), 0 if unknown.
  DWORD State() const;
  const std::string& Name() const { return name_; }
  // Registry path of the service key under HKEY_LOCAL_MACHINE.
  std::string KeyPath() const;

 private:
  std::string name_;
  std::string sysFile_;
  std::string installedFile_;  // as the service names it
  std::string copiedFile_;     // as this program reaches it
  bool installed_ = false;
};

// The full path of `file` in the folder of the running program.
std::string BesideThisProgram(const char* file);

// Polls until a device such as L"\\\\.\\Tillport" can be opened (`present`)
// or no longer can (!present). False after `timeoutMs`.
bool WaitForDevice(const wchar_t* path, bool present, DWORD timeoutMs);

}  // namespace testbed
