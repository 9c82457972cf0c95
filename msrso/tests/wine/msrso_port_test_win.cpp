// KvSMsrSo with a card reader on a USB serial adapter: a COM number past 9,
// and an adapter pulled out and plugged back while the application has the
// reader claimed and enabled. The simulated reader sits behind COM12; its
// "unplug" takes the pseudo-terminal and the port's link away, "plug" puts
// a new pseudo-terminal behind the same name.
#include <windows.h>

#include <string>

#include "msr_win.h"
#include "msrso_test_win.h"
#include "opos.h"
#include "registry_win.h"
#include "serialcardreader_win.h"

using testbed::CallLong;
using testbed::CallString;
using testbed::PumpUntil;

namespace msrtest {
namespace {

constexpr int kPort = 12;
constexpr DWORD kEventTimeoutMs = 15000;

std::wstring Account(IDispatch* so) {
  return CallString(so, L"GetPropertyString", msr::kFirstCardStringIndex + msr::kAccountNumber);
}
long Health(IDispatch* so) { return CallLong(so, L"CheckHealth", {testbed::Long(opos::kInteractive)}); }
std::wstring HealthText(IDispatch* so) { return CallString(so, L"GetPropertyString", opos::kPidxCheckHealthText); }

class MsrPortTest : public MsrTest {
 protected:
  void SetUp() override {
    MsrTest::SetUp();
    ASSERT_TRUE(reader_.Ready()) << reader_.Error();
  }

  // Swipes a card with `account` and pumps until it is the `count`th.
  ::testing::AssertionResult SwipeAndRead(IDispatch* so, const std::string& account, std::size_t count) {
    SetNumber(so, opos::kPidxDataEventEnabled, 1);
    if (!reader_.Swipe(";" + account + "=3012101?")) return ::testing::AssertionFailure() << "no swipe";
    if (!PumpUntil([&] { return control_.Count("SOData") >= count; }, kEventTimeoutMs)) {
      return ::testing::AssertionFailure() << "no card " << count << "; the reader's log:\n" << reader_.Log();
    }
    if (Account(so) != std::wstring(account.begin(), account.end())) {
      return ::testing::AssertionFailure() << "another account number";
    }
    return ::testing::AssertionSuccess();
  }

  // Pulls the adapter out and waits until the reader reports it away.
  ::testing::AssertionResult Unplug(IDispatch* so) {
    const std::size_t before = reader_.LogLines("unplugged").size();
    if (!reader_.Command("unplug") || reader_.WaitLogLines("unplugged", before + 1).size() <= before) {
      return ::testing::AssertionFailure() << "the reader was not pulled out";
    }
    if (!PumpUntil([&] { return Health(so) == opos::kFailure; }, 5000)) {
      return ::testing::AssertionFailure() << "CheckHealth never reported the port gone";
    }
    return ::testing::AssertionSuccess();
  }
  // Plugs it back and waits until the reader has the port again.
  ::testing::AssertionResult Plug(IDispatch* so) {
    const std::size_t before = reader_.LogLines("plugged").size();
    if (!reader_.Command("plug") || reader_.WaitLogLines("plugged", before + 1).size() <= before) {
      return ::testing::AssertionFailure() << "the reader was not plugged back: " << reader_.Log();
    }
    if (!PumpUntil([&] { return Health(so) == opos::kSuccess; }, 5000)) {
      return ::testing::AssertionFailure() << "the reader never opened the port again";
    }
    return ::testing::AssertionSuccess();
  }

  testbed::SerialCardReader reader_{kPort};
};

// "COM12" opens as "\\.\COM12" (a bare "COM12" is a file name), in any
// letter case; a name already in the device namespace opens as it is; and
// the stored value is never rewritten.
TEST_F(MsrPortTest, APortPastCom9OpensByItsName) {
  std::size_t cards = 0;
  for (const char* port : {"COM12", "com12", "\\\\.\\COM12"}) {
    WriteDeviceKey(port);
    IDispatch* so = Create();
    ASSERT_NE(so, nullptr);
    OpenClaimEnable(so);
    EXPECT_TRUE(SwipeAndRead(so, "4111111111111111", ++cards)) << port;
    EXPECT_EQ(CallLong(so, L"Release"), 0);
    EXPECT_EQ(CallLong(so, L"Close"), 0);
    so->Release();
    kit::UniqueKey key;
    ASSERT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, kDeviceKey, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(kit::QueryString(key.get(), "Port").value_or(""), port);
  }
}

// The cashier knocks the plug out and pushes it back: while it is out the
// reader says so (CheckHealth 111, CheckHealthText), and once it is back the
// next card is delivered with nothing done by the application. Twenty times
// in a row leave no thread or handle behind, the reader uses no CPU while
// the port is away, and Release and Close return at once then.
TEST_F(MsrPortTest, AReaderPulledOutAndPluggedBackReadsTheNextCard) {
  TempProgramData logs;
  WriteDeviceKey("COM12");
  SetTraceLevel(1);
  OpenClaimEnable(so_);
  ASSERT_TRUE(SwipeAndRead(so_, "4000000000000001", 1));
  EXPECT_EQ(Health(so_), 0);
  EXPECT_EQ(HealthText(so_), L"");

  ASSERT_TRUE(Unplug(so_));
  EXPECT_NE(HealthText(so_).find(L"COM12 cannot be reached"), std::wstring::npos);
  // Away for a while: no spinning.
  FILETIME c, e, k0, u0, k1, u1;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
  const ULONGLONG start = GetTickCount64();
  PumpUntil([] { return false; }, 2500);
  const ULONGLONG wall = GetTickCount64() - start;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
  auto ticks = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  EXPECT_LT((ticks(k1) - ticks(k0) + ticks(u1) - ticks(u0)) / 10000, wall / 20);
  ASSERT_TRUE(Plug(so_));
  EXPECT_EQ(HealthText(so_), L"");
  ASSERT_TRUE(SwipeAndRead(so_, "4000000000000002", 2));
  // The trace records the loss and the return, at level 1.
  const std::string trace = logs.Read(L"KvMsr.log");
  const std::size_t lost = trace.find("serial port \"\\\\\\\\.\\\\COM12\" lost (error ");
  EXPECT_NE(lost, std::string::npos) << trace;
  EXPECT_NE(trace.find("serial port \"\\\\\\\\.\\\\COM12\" back", lost), std::string::npos) << trace;

  const std::size_t threads = ThreadCount();
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(Unplug(so_)) << i;
    ASSERT_TRUE(Plug(so_)) << i;
  }
  ASSERT_TRUE(SwipeAndRead(so_, "4000000000000003", 3));
  EXPECT_EQ(ThreadCount(), threads);
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(handlesAfter, handles);

  ASSERT_TRUE(Unplug(so_));
  const ULONGLONG releaseStart = GetTickCount64();
  EXPECT_EQ(CallLong(so_, L"Release"), 0);
  EXPECT_EQ(CallLong(so_, L"Close"), 0);
  EXPECT_LT(GetTickCount64() - releaseStart, 500u);
  EXPECT_EQ(control_.Count("SOError"), 0u);
}

}  // namespace
}  // namespace msrtest
