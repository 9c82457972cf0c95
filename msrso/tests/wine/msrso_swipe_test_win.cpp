// KvSMsrSo with a card reader: swipes through the simulated reader on COM3,
// events on the application's thread, the worker threads' lifecycle.
#include <windows.h>

#include <malloc.h>
#include <sddl.h>

#include <climits>
#include <string>

#include "msrso_test_win.h"
#include "opos.h"
#include "msr_win.h"
#include "registry_win.h"
#include "serialcardreader_win.h"

using testbed::CallLong;
using testbed::CallString;
using testbed::Dispatch;
using testbed::Long;
using testbed::PumpUntil;
using testbed::Text;

namespace msrtest {
namespace {

constexpr int kPort = 3;
constexpr DWORD kEventTimeoutMs = 15000;

const std::string kTrack1Line = "%B0123456789^DOE/JOHN Q.DR^2512101ABC?";
const std::string kTrack2Line = ";0123456789=25121010000?";

std::wstring Card(IDispatch* so, msr::CardString s) {
  return CallString(so, L"GetPropertyString", msr::kFirstCardStringIndex + static_cast<long>(s));
}
std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class MsrSwipeTest : public MsrTest {
 protected:
  void SetUp() override {
    MsrTest::SetUp();
    ASSERT_TRUE(reader_.Ready()) << reader_.Error();
    WriteDeviceKey("COM" + std::to_string(kPort));
  }

  // Swipes `line` and pumps until `name` was requested `count` times.
  bool SwipeAndWait(const std::string& line, const char* name, std::size_t count) {
    if (!reader_.Swipe(line)) return false;
    if (PumpUntil([&] { return control_.Count(name) >= count; }, kEventTimeoutMs)) return true;
    ADD_FAILURE() << "no " << name << " " << count << "; the reader's log:\n" << reader_.Log();
    return false;
  }

  // Lets a dropped line pass: its bytes are out and the reader's read time-out
  // has long ended. Nothing is asserted on the wait itself.
  void LetDroppedLinePass(std::size_t sent) {
    ASSERT_TRUE(reader_.WaitSent(sent));
    PumpUntil([] { return false; }, 600);
  }

  testbed::SerialCardReader reader_{kPort};
};

TEST_F(MsrSwipeTest, SwipeGivesDataOnTheApplicationThread) {
  OpenClaimEnable(so_);
  EXPECT_EQ(Number(so_, opos::kPidxClaimed), 1);
  EXPECT_EQ(Number(so_, opos::kPidxState), opos::kIdle);
  SetNumber(so_, msrso::kPidxTracksToRead, msr::kTrack1);
  ASSERT_TRUE(SwipeAndWait(kTrack1Line, "SOData", 1));
  const auto calls = control_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args, std::vector<long>{1});
  EXPECT_EQ(calls[0].thread, GetCurrentThreadId());
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"0123456789");
  EXPECT_EQ(Card(so_, msr::kSurname), L"DOE");
  EXPECT_EQ(Card(so_, msr::kFirstName), L"JOHN");
  EXPECT_EQ(Card(so_, msr::kMiddleInitial), L"Q");
  EXPECT_EQ(Card(so_, msr::kTitle), L"DR");
  EXPECT_EQ(Card(so_, msr::kExpirationDate), L"2512");
  EXPECT_EQ(Card(so_, msr::kServiceCode), L"101");
  EXPECT_EQ(Card(so_, msr::kTrack1DiscretionaryData), L"ABC");
  EXPECT_EQ(Card(so_, msr::kTrack1Data), Wide(kTrack1Line));
  // DataEventEnabled drops to 0 with every data event.
  EXPECT_EQ(Number(so_, opos::kPidxDataEventEnabled), 0);
  EXPECT_EQ(Number(so_, opos::kPidxDataCount), 0);
  EXPECT_EQ(Number(so_, opos::kPidxState), opos::kIdle);

  SetNumber(so_, msrso::kPidxTracksToRead, msr::kTrack2);
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 2));
  EXPECT_EQ(control_.Calls()[1].thread, GetCurrentThreadId());
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"0123456789");
  EXPECT_EQ(Card(so_, msr::kExpirationDate), L"2512");
  EXPECT_EQ(Card(so_, msr::kServiceCode), L"101");
  EXPECT_EQ(Card(so_, msr::kTrack2DiscretionaryData), L"0000");
  EXPECT_EQ(Card(so_, msr::kSurname), L"");
  EXPECT_EQ(CallLong(so_, L"CheckHealth", {Long(opos::kInteractive)}), 0);
  EXPECT_EQ(CallLong(so_, L"CheckHealth", {Long(opos::kInternal)}), opos::kIllegal);
  EXPECT_EQ(CallLong(so_, L"Release"), 0);
  EXPECT_EQ(Number(so_, opos::kPidxDeviceEnabled), 0);
  EXPECT_EQ(CallLong(so_, L"Close"), 0);
}

TEST_F(MsrSwipeTest, UnreadableSwipeGivesErrorAndStateError) {
  OpenClaimEnable(so_);
  ASSERT_TRUE(SwipeAndWait("+0123456789?", "SOError", 1));
  const auto calls = control_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args, (std::vector<long>{111, 111, 2, 12}));
  EXPECT_EQ(calls[0].thread, GetCurrentThreadId());
  EXPECT_EQ(Number(so_, opos::kPidxState), opos::kError);
  EXPECT_EQ(Number(so_, opos::kPidxResultCode), 111);
  EXPECT_EQ(Number(so_, opos::kPidxResultCodeExtended), 111);
  EXPECT_EQ(Number(so_, opos::kPidxDataEventEnabled), 1);  // not changed by an error
  // A good card afterwards: data again, State back to idle.
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 1));
  EXPECT_EQ(Number(so_, opos::kPidxState), opos::kIdle);
}

TEST_F(MsrSwipeTest, CardsAreDroppedWhileDisabledOrFrozen) {
  OpenClaimEnable(so_);
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 1));
  // DataEventEnabled 0 (dropped by the event itself).
  reader_.Swipe(";4111111111111111=3012?");
  LetDroppedLinePass(2);
  // FreezeEvents.
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  SetNumber(so_, opos::kPidxFreezeEvents, 1);
  reader_.Swipe(";4222222222222=3012?");
  LetDroppedLinePass(3);
  // The control object's COFreezeEvents.
  SetNumber(so_, opos::kPidxFreezeEvents, 0);
  EXPECT_EQ(CallLong(so_, L"COFreezeEvents", {Long(1)}), 0);
  reader_.Swipe(";4333333333333=3012?");
  LetDroppedLinePass(4);
  EXPECT_EQ(control_.Count("SOData"), 1u);
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"0123456789");  // still the first card
  EXPECT_EQ(CallLong(so_, L"COFreezeEvents", {Long(0)}), 0);
  ASSERT_TRUE(SwipeAndWait(";5555555555554444=2905101?", "SOData", 2));
  EXPECT_EQ(control_.Count("SOData"), 2u);
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"5555555555554444");
}

TEST_F(MsrSwipeTest, LrcTrueAppendsTheLrcByte) {
  WriteDeviceKey("COM" + std::to_string(kPort), "True");
  OpenClaimEnable(so_);
  SetNumber(so_, msrso::kPidxTracksToRead, msr::kTrack2);
  ASSERT_TRUE(SwipeAndWait(";12?", "SOData", 1));
  EXPECT_EQ(Card(so_, msr::kTrack2Data), std::wstring(L";12?\x07"));
  SetNumber(so_, msrso::kPidxTracksToRead, msr::kTrack1);
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  ASSERT_TRUE(SwipeAndWait("%B1?", "SOData", 2));
  EXPECT_EQ(Card(so_, msr::kTrack1Data), std::wstring(L"%B1?\x29"));
}

TEST_F(MsrSwipeTest, NoiseOnTheLine) {
  OpenClaimEnable(so_);
  // A line without CR: taken whole once the line goes quiet.
  ASSERT_TRUE(reader_.Command("raw 3B343131313131313131313131313131313D33303132"));
  ASSERT_TRUE(PumpUntil([&] { return control_.Count("SOData") == 1; }, kEventTimeoutMs));
  EXPECT_EQ(Card(so_, msr::kTrack2Data), L";4111111111111111=3012");
  // Two lines in one burst: the first is the card, the rest is dropped.
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  ASSERT_TRUE(reader_.Command("raw 3B313131313D32353132310D3B323232323D32363132310D"));
  ASSERT_TRUE(PumpUntil([&] { return control_.Count("SOData") == 2; }, kEventTimeoutMs));
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"1111");
  // A line of 300 bytes: more than the receive buffer. Whatever becomes of
  // it, the reader goes on, and the next card is read.
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  ASSERT_TRUE(reader_.Command("long 300"));
  LetDroppedLinePass(3);
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  const std::size_t before = control_.Calls().size();
  ASSERT_TRUE(SwipeAndWait(";6011000990139424=2701101?", "SOData", control_.Count("SOData") + 1));
  EXPECT_GT(control_.Calls().size(), before);
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"6011000990139424");
}

TEST_F(MsrSwipeTest, ReleaseWhileASwipeIsInFlight) {
  const std::size_t threadsBefore = ThreadCount();
  OpenClaimEnable(so_);
  // The test thread does not pump: the worker posts the data event and
  // waits for it to be fired, which it never is.
  ASSERT_TRUE(reader_.Swipe(kTrack2Line));
  MSG msg;
  const ULONGLONG until = GetTickCount64() + kEventTimeoutMs;
  bool posted = false;
  while (!posted && GetTickCount64() < until) {
    posted = PeekMessageW(&msg, nullptr, opos::kWmSoEvent, opos::kWmSoEvent, PM_NOREMOVE) != FALSE;
    if (!posted) Sleep(5);
  }
  ASSERT_TRUE(posted);
  EXPECT_EQ(CallLong(so_, L"Release"), 0);  // returns: the worker was woken
  EXPECT_EQ(ThreadCount(), threadsBefore);  // both workers ended
  // A swipe while the port is being closed, a few times over.
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(CallLong(so_, L"Claim", {Long(0)}), 0);
    SetNumber(so_, opos::kPidxDataEventEnabled, 1);
    reader_.Swipe(kTrack1Line);
    PumpUntil([] { return false; }, 10 * i);
    EXPECT_EQ(CallLong(so_, L"Release"), 0);
  }
  EXPECT_EQ(ThreadCount(), threadsBefore);
  EXPECT_EQ(CallLong(so_, L"Close"), 0);
  PumpUntil([] { return false; }, 50);
}

// A swipe may come at any moment of an idle reader, and a reader may fall
// silent inside a line for a moment. Paced at 9600 baud, after idle spells
// that cross the moment a read that began with the idle spell would have
// timed out (2.57 s in), and with silences inside the line of up to the
// bound the reader keeps for them, every card arrives whole, once.
TEST_F(MsrSwipeTest, EveryCardWholeAfterAnyIdleSpellOrASilenceInTheLine) {
  OpenClaimEnable(so_);
  struct Case {
    int idleMs;
    std::size_t silenceAt;  // 0: none
    int silenceMs;
  };
  const Case cases[] = {{2480, 0, 0}, {2540, 0, 0}, {300, 0, 0}, {100, 20, 60}, {100, 40, 120}, {100, 60, 180}};
  std::size_t i = 0;
  for (const Case& c : cases) {
    const std::string account = std::to_string(4100000000000000LL + static_cast<long long>(i));
    const std::string line = "%B" + account + "^DOE/JOHN Q.DR^3012101ABCDEFGHIJKLMNOP?;" + account +
                             "=30121010000000000000?";
    SetNumber(so_, opos::kPidxDataEventEnabled, 1);
    ASSERT_TRUE(reader_.Command("pause " + std::to_string(c.idleMs)));
    if (c.silenceAt) {
      ASSERT_TRUE(reader_.Command("part " + line.substr(0, c.silenceAt)));
      ASSERT_TRUE(reader_.Command("pause " + std::to_string(c.silenceMs)));
      ASSERT_TRUE(reader_.Swipe(line.substr(c.silenceAt)));
    } else {
      ASSERT_TRUE(reader_.Swipe(line));
    }
    ++i;
    ASSERT_TRUE(PumpUntil([&] { return control_.Count("SOData") + control_.Count("SOError") >= i; }, kEventTimeoutMs))
        << "idle " << c.idleMs << "; the reader's log:\n" << reader_.Log();
    EXPECT_EQ(Card(so_, msr::kTrack1Data), Wide(line)) << "idle " << c.idleMs << " silence " << c.silenceMs;
    EXPECT_EQ(Card(so_, msr::kAccountNumber), Wide(account)) << "idle " << c.idleMs << " silence " << c.silenceMs;
  }
  // Once each: no piece of a card became a card (or an error) of its own.
  PumpUntil([] { return false; }, 400);
  EXPECT_EQ(control_.Count("SOData"), std::size(cases));
  EXPECT_EQ(control_.Count("SOError"), 0u);
}

TEST_F(MsrSwipeTest, ClaimAfterReleaseReopensThePort) {
  OpenClaimEnable(so_);
  EXPECT_EQ(CallLong(so_, L"Release"), 0);
  EXPECT_EQ(CallLong(so_, L"Release"), opos::kIllegal);
  ASSERT_EQ(CallLong(so_, L"Claim", {Long(0)}), 0);
  SetNumber(so_, opos::kPidxDeviceEnabled, 1);
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 1));
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"0123456789");
}

TEST_F(MsrSwipeTest, CalledAsAnOpos15ControlObjectCallsIt) {
  // Newer control objects ask for the long names first and fall back.
  auto call = [&](const wchar_t* newer, const wchar_t* older, std::vector<VARIANT> args) {
    VARIANT r;
    if (testbed::CallByName(so_, newer, args, &r) == DISP_E_UNKNOWNNAME) {
      EXPECT_EQ(testbed::CallByName(so_, older, std::move(args), &r), S_OK);
    }
    return V_VT(&r) == VT_I4 ? V_I4(&r) : LONG_MIN;
  };
  ASSERT_EQ(CallLong(so_, L"OpenService", {Text(L"MSR"), Text(L"KvMsr"), Dispatch(&control_)}), 0);
  EXPECT_EQ(Number(so_, opos::kPidxServiceObjectVersion) / 1000000, 1);
  EXPECT_EQ(call(L"ClaimDevice", L"Claim", {Long(1000)}), 0);
  EXPECT_EQ(Number(so_, opos::kPidxClaimed), 1);
  EXPECT_EQ(call(L"ReleaseDevice", L"Release", {}), 0);
  EXPECT_EQ(call(L"CloseService", L"Close", {}), 0);
  EXPECT_EQ(Number(so_, opos::kPidxState), opos::kClosed);
}

TEST_F(MsrSwipeTest, IdleClaimedReaderUsesNoCpu) {
  OpenClaimEnable(so_);
  // Let the reader settle into its wait.
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 1));
  FILETIME c, e, k0, u0, k1, u1;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
  const ULONGLONG start = GetTickCount64();
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  WaitForSingleObject(never, 3000);  // the measuring interval
  CloseHandle(never);
  const ULONGLONG wall = GetTickCount64() - start;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
  auto ticks = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  const ULONGLONG cpuMs = (ticks(k1) - ticks(k0) + ticks(u1) - ticks(u0)) / 10000;
  EXPECT_LT(cpuMs, wall / 20) << "cpu " << cpuMs << " ms in " << wall << " ms";
  // And it still reads.
  SetNumber(so_, opos::kPidxDataEventEnabled, 1);
  ASSERT_TRUE(SwipeAndWait(kTrack1Line, "SOData", 2));
}

TEST_F(MsrSwipeTest, ThreeHundredSwipesInARow) {
  OpenClaimEnable(so_);
  for (int i = 0; i < 300; ++i) {
    const std::string account = std::to_string(4100000000000000LL + i);
    std::string line = ";";
    line.append(account).append("=3012101?");
    SetNumber(so_, opos::kPidxDataEventEnabled, 1);
    ASSERT_TRUE(SwipeAndWait(line, "SOData", static_cast<std::size_t>(i) + 1)) << i;
    ASSERT_EQ(Card(so_, msr::kAccountNumber), Wide(account)) << i;
  }
  EXPECT_EQ(control_.Count("SOData"), 300u);
  EXPECT_EQ(control_.Count("SOError"), 0u);
}

// A standard user may read the OPOS tree but not write it. Such a device
// key (readable by everyone, writable by nobody) opens and reads a card.
TEST_F(MsrSwipeTest, OpensADeviceKeyThatOnlyGrantsReading) {
  auto protect = [](const wchar_t* sddl) {
    kit::UniqueKey key;
    ASSERT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, kDeviceKey, READ_CONTROL | WRITE_DAC, key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    LocalFree(sd);
  };
  protect(L"D:P(A;;KR;;;WD)");
  kit::UniqueKey probe;
  EXPECT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, kDeviceKey, KEY_ALL_ACCESS, probe), ERROR_ACCESS_DENIED);
  OpenClaimEnable(so_);
  EXPECT_EQ(Number(so_, opos::kPidxState), opos::kIdle);
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 1));
  protect(L"D:P(A;;KA;;;WD)");
}

// ---- The application's own doings inside an event --------------------------

// The application's event handler closes the object and drops its last
// reference, as a POS application does that ends its sale on the card. The
// firing must finish on an object that is still alive: every round, for
// data and error events, leaves both heaps sound and the next object works.
struct CloseInsideEvent {
  IDispatch* so = nullptr;
  static void OnEvent(void* self, const testbed::EventCall&) {
    auto* c = static_cast<CloseInsideEvent*>(self);
    if (!c->so) return;
    EXPECT_EQ(CallLong(c->so, L"Close"), 0);
    c->so->Release();
    c->so = nullptr;
  }
};

TEST_F(MsrSwipeTest, CloseAndReleaseInsideEachEvent) {
  CloseInsideEvent app;
  control_.onEvent = &CloseInsideEvent::OnEvent;
  control_.onEventContext = &app;
  for (int i = 0; i < 20; ++i) {
    app.so = Create();
    ASSERT_NE(app.so, nullptr);
    OpenClaimEnable(app.so);
    const bool error = i % 2 == 1;
    ASSERT_TRUE(SwipeAndWait(error ? "+0123456789?" : kTrack1Line, error ? "SOError" : "SOData",
                             static_cast<std::size_t>(i / 2) + 1))
        << i;
    ASSERT_TRUE(PumpUntil([&] { return app.so == nullptr; }, kEventTimeoutMs)) << i;
    PumpUntil([] { return false; }, 20);
    ASSERT_EQ(_heapchk(), _HEAPOK) << i;
    ASSERT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << i;
  }
  control_.onEvent = nullptr;
  OpenClaimEnable(so_);
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 11));
  EXPECT_EQ(Card(so_, msr::kAccountNumber), L"0123456789");
}

// Only the object's own worker has events fired: messages that any program
// on the desktop can send (a broadcast of the event message, the same
// message posted to the object's window) neither destroy the window nor
// fire an event, and the next swipe is delivered once.
TEST_F(MsrSwipeTest, ForeignEventMessagesAreIgnored) {
  OpenClaimEnable(so_);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, opos::kWmSoEvent, 1, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
  PostMessageW(HWND_BROADCAST, opos::kWmSoEvent, 0, opos::kEventData);
  HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"KvSoEventWindow", nullptr);
  if (!window) window = FindWindowW(L"KvSoEventWindow", nullptr);
  ASSERT_NE(window, nullptr);
  for (LPARAM type : {LPARAM{opos::kEventData}, LPARAM{opos::kEventError}, LPARAM{0}}) {
    PostMessageW(window, opos::kWmSoEvent, 0, type);
  }
  PostMessageW(window, opos::kWmSoEvent, 1, 0);
  PostMessageW(window, opos::kWmSoEvent, 7, opos::kEventData);
  PumpUntil([] { return false; }, 200);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(control_.Calls().size(), 0u);
  ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", 1));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(control_.Calls().size(), 1u);
}

// Each object has its own fire-done event: no other object in this or any
// process can open it by a name and wake a waiting worker.
TEST_F(MsrSwipeTest, NoSharedFireDoneEvent) {
  OpenClaimEnable(so_);
  IDispatch* second = Create();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"VUZFireEventDoneEV"), nullptr);
  second->Release();
}

// What an application does that loads the reader for one job at a time:
// each round creates the object, reads a card, releases, closes and frees
// it, and lets COM unload the module. The module must come and go any
// number of times in one process, and leave no thread behind.
TEST_F(MsrSwipeTest, TwentyRoundsEachEndingInUnload) {
  so_->Release();
  so_ = nullptr;
  CoFreeUnusedLibrariesEx(0, 0);
  ASSERT_EQ(GetModuleHandleW(L"KvSMsrSo.dll"), nullptr);
  const std::size_t threadsBefore = ThreadCount();
  for (int i = 0; i < 20; ++i) {
    IDispatch* so = Create();
    ASSERT_NE(so, nullptr) << i;
    OpenClaimEnable(so);
    ASSERT_TRUE(SwipeAndWait(kTrack2Line, "SOData", static_cast<std::size_t>(i) + 1)) << i;
    ASSERT_EQ(Card(so, msr::kAccountNumber), L"0123456789") << i;
    ASSERT_EQ(CallLong(so, L"Release"), 0);
    ASSERT_EQ(CallLong(so, L"Close"), 0);
    so->Release();
    CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_EQ(GetModuleHandleW(L"KvSMsrSo.dll"), nullptr) << i;
  }
  // The last one is dropped while claimed: its final Release ends it all.
  IDispatch* so = Create();
  ASSERT_NE(so, nullptr);
  OpenClaimEnable(so);
  so->Release();
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(GetModuleHandleW(L"KvSMsrSo.dll"), nullptr);
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

}  // namespace
}  // namespace msrtest
