// Shared set-up of the KvSMsrSo tests under Wine: the DLL registered with
// regsvr32 once per test program, COM on the test thread (the application's
// thread of a POS program), and the MSR's device key.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "controlobject_win.h"

namespace msrtest {

inline constexpr char kDeviceKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\MSR\\KvMsr";

// Folder of the test program (and of KvSMsrSo.dll), with a backslash.
std::wstring ProgramFolder();
std::wstring DllPath();
// Runs `command` and answers its exit code (or -1).

// Writes the device key with the given values; an empty `port` writes none.
void WriteDeviceKey(const std::string& port, const std::string& lrc = "False");
void DeleteDeviceKey();

// A log folder of the test's own: this process's ProgramData points at a
// fresh temporary folder while the object lives.
class TempProgramData {
 public:
  TempProgramData();
  ~TempProgramData();
  TempProgramData(const TempProgramData&) = delete;
  TempProgramData& operator=(const TempProgramData&) = delete;
  const std::wstring& Folder() const { return folder_; }
  std::wstring LogPath(const wchar_t* name) const { return folder_ + L"\\PosKit\\Logs\\" + name; }
  // The file as it is now (shared with its writers); "" when there is none.
  std::string Read(const wchar_t* name) const;

 private:
  std::wstring folder_;
};

// Sets the device key's "TraceLevel".
void SetTraceLevel(DWORD level);

// Threads of this process now.
std::size_t ThreadCount();
void SetNumber(IDispatch* so, long index, long value);
long Number(IDispatch* so, long index);

class MsrTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;
  // A new CMSR through its ProgID.
  IDispatch* Create();
  // OpenService("KvMsr") with this test's control object, Claim,
  // DeviceEnabled 1, DataEventEnabled 1.
  void OpenClaimEnable(IDispatch* so);

  IDispatch* so_ = nullptr;
  testbed::ControlObject control_;
};

}  // namespace msrtest
