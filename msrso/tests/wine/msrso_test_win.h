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

class MsrTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;
  // A new CMSR through its ProgID.
  IDispatch* Create();

  IDispatch* so_ = nullptr;
  testbed::ControlObject control_;
};

}  // namespace msrtest
