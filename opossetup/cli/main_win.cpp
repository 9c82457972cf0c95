// kvoposcfg on Windows: the registry's views, files with UTF-8 names, the
// console, and the device check through the service objects.
#include <windows.h>
#include <ole2.h>

#include <cstdio>

#include "cli/checker_win.h"
#include "cli/commands.h"
#include "fileio_win.h"
#include "fileout.h"
#include "registrystore_win.h"
#include "text_win.h"

namespace {

class WindowsEnvironment : public opos::cli::Environment {
 public:
  kit::FileOut out{stdout};
  kit::FileOut err{stderr, &out};
  opos::cli::ServiceObjectChecker checker;

  kit::TextOut& Out() override { return out; }
  kit::TextOut& Err() override { return err; }
  opos::KeyStore& Store() override { return store_; }
  opos::KeyStore* OtherStore() override { return opos::RegistryStore::OtherViewExists() ? &other_ : nullptr; }
  std::string ViewName() override { return sizeof(void*) == 8 ? "64-bit" : "32-bit"; }
  std::string OtherViewName() override { return opos::RegistryStore::kOtherViewName; }
  std::optional<std::string> ReadFile(const std::string& path) override {
    return kit::ReadWholeFile(kit::FromUtf8(path));
  }
  bool WriteFileReplacing(const std::string& path, std::string_view data) override {
    return kit::WriteFileReplacing(kit::FromUtf8(path), data);
  }
  opos::cli::DeviceChecker& Checker() override { return checker; }

 private:
  opos::RegistryStore store_;
  opos::RegistryStore other_{opos::RegistryStore::kOtherView};
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Custom device names may hold any character: UTF-8 in and out.
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(kit::ToUtf8(argv[i]));
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  WindowsEnvironment env;
  int status = opos::cli::Run(args, env);
  env.out.Flush();
  env.err.Flush();
  if (env.out.Failed() && status == opos::cli::kExitOk) status = opos::cli::kExitFailed;
  // A device that never answered still has its thread inside its service
  // object: the program ends here, and nothing of it stays behind.
  if (env.checker.Abandoned()) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}
