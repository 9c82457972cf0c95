// KvCash1So and KvCash2So under Wine, driven by name as the OPOS control
// object drives them; in driver mode against TillportSim.sys loaded as the
// kernel service "Tillport", whose test-only requests play the hand that
// opens and closes a drawer and show every byte written to the kick port.
#include <olectl.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "cashtest_win.h"
#include "kernelservice_win.h"
#include "opos.h"
#include "registry_win.h"

using cash::kDrawers;

namespace cashtest {
namespace {

constexpr DWORD kEventWait = 5000;  // two polls and more, on a busy machine
const cash::DrawerVariant& kDrawer1 = kDrawers[0];
const cash::DrawerVariant& kDrawer2 = kDrawers[1];

// ---- Without the driver ------------------------------------------------------

class NoDriverTest : public CashTest {
 protected:
  static void SetUpTestSuite() {
    CashTest::SetUpTestSuite();
    // A driver left running by another test program would hide the case.
    if (testbed::WaitForDevice(TILLPORT_USER_PATH_W, true, 0)) {
      testbed::KernelService("Tillport", "").Stop();
      testbed::WaitForDevice(TILLPORT_USER_PATH_W, false, 10000);
    }
  }
};

TEST_F(NoDriverTest, RegisteredByRegsvr32WithTypeLibrary) {
  for (const cash::DrawerVariant& d : kDrawers) {
    kit::UniqueKey key;
    ASSERT_EQ(kit::OpenKey(HKEY_CLASSES_ROOT, std::string(d.progId) + "\\CLSID", KEY_READ, key), ERROR_SUCCESS)
        << d.progId;
    const std::string clsid = kit::QueryString(key.get(), nullptr).value_or("");
    ASSERT_EQ(kit::OpenKey(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", KEY_READ, key),
              ERROR_SUCCESS);
    EXPECT_NE(kit::QueryString(key.get(), nullptr).value_or("").find(std::string(d.module) + ".dll"),
              std::string::npos);
    EXPECT_EQ(kit::QueryString(key.get(), "ThreadingModel").value_or(""), "Apartment");
    ASSERT_EQ(kit::OpenKey(HKEY_CLASSES_ROOT, "CLSID\\" + clsid, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(kit::QueryString(key.get(), nullptr).value_or(""), std::string(d.className) + " Class");

    // The TYPELIB resource: the library only, named after the module, and
    // registered so that type information can be answered from it.
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadTypeLibEx(DllPath(d).c_str(), REGKIND_NONE, &lib), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    const GUID libid = attr->guid;
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(name), std::wstring(d.module, d.module + std::strlen(d.module)));
    SysFreeString(name);
    EXPECT_EQ(lib->GetTypeInfoCount(), 0u);
    lib->Release();
    ITypeLib* registered = nullptr;
    ASSERT_EQ(LoadRegTypeLib(libid, 1, 0, LOCALE_NEUTRAL, &registered), S_OK) << d.module;
    registered->Release();

    // OLESelfRegister in the version resource.
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(DllPath(d).c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(DllPath(d).c_str(), 0, size, info.data()));
    void* value = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\OLESelfRegister", &value, &length));
  }
}

TEST_F(NoDriverTest, TypeInformationFromTheRegisteredLibraryHoldsNone) {
  for (const cash::DrawerVariant& d : kDrawers) {
    Drawer drawer(d);
    ASSERT_TRUE(drawer.Created());
    UINT count = 99;
    EXPECT_EQ(drawer.So()->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_TRUE(FAILED(drawer.So()->GetTypeInfo(0, LOCALE_SYSTEM_DEFAULT, &info)));
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(drawer.So()->GetTypeInfo(1, LOCALE_SYSTEM_DEFAULT, &info), DISP_E_BADINDEX);
  }
}

TEST_F(NoDriverTest, MethodTableByNameInAnyCase) {
  Drawer drawer(kDrawer2);
  ASSERT_TRUE(drawer.Created());
  ASSERT_EQ(cash::kDrawerMethods.size(), 13u);
  for (const opos::Method& m : cash::kDrawerMethods) {
    std::wstring name(m.name, m.name + std::strlen(m.name));
    for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
    LPOLESTR p = name.data();
    DISPID id = 0;
    EXPECT_EQ(drawer.So()->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK) << m.name;
    EXPECT_EQ(id, m.dispid) << m.name;
  }
  LPOLESTR unknown = const_cast<LPOLESTR>(L"ClearInput");
  DISPID id = 0;
  EXPECT_EQ(drawer.So()->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_SYSTEM_DEFAULT, &id), DISP_E_UNKNOWNNAME);
  VARIANT r;
  EXPECT_EQ(testbed::CallByName(drawer.So(), L"WaitForDrawerClose", {testbed::Long(1)}, &r), DISP_E_BADPARAMCOUNT);
}

TEST_F(NoDriverTest, OpenServiceFailsWithoutOpSysNTAndWithoutDriver) {
  for (const cash::DrawerVariant& d : kDrawers) {
    WriteDeviceKey(d, "", "");
    Drawer drawer(d);
    EXPECT_EQ(drawer.Open(), opos::kNoService) << d.module;
    EXPECT_EQ(drawer.Number(opos::kPidxResultCode), opos::kNoService);
    EXPECT_EQ(drawer.Number(opos::kPidxResultCodeExtended), opos::kNoService);
    EXPECT_EQ(drawer.Number(opos::kPidxState), opos::kClosed);
    EXPECT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kNotClaimed);
    // "OpSysNT" other than exactly "False" still asks for the driver.
    WriteDeviceKey(d, "", "false");
    EXPECT_EQ(drawer.Open(), opos::kNoService);
    EXPECT_EQ(drawer.Call(L"Close"), opos::kSuccess);
  }
}

TEST_F(NoDriverTest, OpenServiceFailsWithoutDeviceKeyOrWithAnUnknownEvent) {
  DeleteDeviceKeys();
  Drawer drawer(kDrawer1);
  EXPECT_EQ(drawer.Open(), opos::kNoService);
  WriteDeviceKey(kDrawer1, "", "True");
  testbed::ControlObject refusing("SOStatusUpdate");
  EXPECT_EQ(drawer.Call(L"OpenService", {testbed::Text(L"CashDrawer"), testbed::Text(L"KvCash1"),
                                         testbed::Dispatch(&refusing)}),
            opos::kNoService);
  // The event names are resolved before the driver is opened (which fails
  // here): the two names, each by itself with the system locale.
  EXPECT_EQ(drawer.Open(), opos::kNoService);
  EXPECT_EQ(drawer.control.lcids.size(), 2u);
  for (LCID lcid : drawer.control.lcids) EXPECT_EQ(lcid, static_cast<LCID>(LOCALE_SYSTEM_DEFAULT));
}

// The property tables of an object that is not open (no port touched).
TEST_F(NoDriverTest, PropertyTablesOfBothDrawers) {
  for (const cash::DrawerVariant& d : kDrawers) {
    Drawer drawer(d);
    const struct {
      long index;
      long value;
    } numbers[] = {{opos::kPidxClaimed, 0},     {opos::kPidxDataEventEnabled, 0},
                   {opos::kPidxDeviceEnabled, 0}, {opos::kPidxFreezeEvents, 0},
                   {opos::kPidxResultCode, 0},  {opos::kPidxResultCodeExtended, 0},
                   {opos::kPidxServiceObjectVersion, 1002000}, {opos::kPidxState, opos::kClosed},
                   {opos::kPidxDataCount, 0},   {cash::kPidxDrawerOpened, 0},
                   {cash::kPidxCapStatus, 1},   {5, 0}, {7001, 0}, {-1, 0}};
    for (const auto& n : numbers) EXPECT_EQ(drawer.Number(n.index), n.value) << d.module << " " << n.index;
    for (const cash::StringProperty& s : cash::kStringProperties) {
      EXPECT_EQ(drawer.String(s.index), d.number == 1 ? s.drawer1 : s.drawer2) << s.index;
    }
    EXPECT_EQ(drawer.String(1000003), d.deviceName);
    EXPECT_EQ(drawer.String(1000002), L"Marrowind Cash Drawer 1");
    EXPECT_EQ(drawer.String(1000005), L"Empty");
    EXPECT_EQ(drawer.String(7001), L"Empty");

    // Writes: FreezeEvents and DeviceEnabled kept as given, the rest
    // ignored; none of them touches ResultCode.
    drawer.Call(L"Release");  // ResultCode 103
    drawer.SetNumber(opos::kPidxFreezeEvents, 7);
    drawer.SetNumber(opos::kPidxDeviceEnabled, 5);
    drawer.SetNumber(opos::kPidxClaimed, 1);
    drawer.SetNumber(opos::kPidxState, 3);
    drawer.SetNumber(cash::kPidxCapStatus, 0);
    drawer.SetNumber(cash::kPidxDrawerOpened, 1);
    drawer.SetNumber(opos::kPidxDataEventEnabled, 1);
    testbed::CallByName(drawer.So(), L"SetPropertyString", {testbed::Long(1000003), testbed::Text(L"x")}, nullptr);
    EXPECT_EQ(drawer.Number(opos::kPidxFreezeEvents), 7);
    EXPECT_EQ(drawer.Number(opos::kPidxDeviceEnabled), 5);
    EXPECT_EQ(drawer.Number(opos::kPidxClaimed), 0);
    EXPECT_EQ(drawer.Number(opos::kPidxState), opos::kClosed);
    EXPECT_EQ(drawer.Number(cash::kPidxCapStatus), 1);
    EXPECT_EQ(drawer.Number(opos::kPidxDataEventEnabled), 0);
    EXPECT_EQ(drawer.Number(opos::kPidxResultCode), opos::kNotClaimed);
    EXPECT_EQ(drawer.String(1000003), d.deviceName);
  }
}

// Direct mode ("OpSysNT" "False") would execute port instructions in the
// application's process, which Windows answers with an exception that ends
// it. The device does not open, says why, and no call afterwards reaches a
// port.
TEST_F(NoDriverTest, DirectModeIsRefusedAndTheApplicationLives) {
  for (const cash::DrawerVariant& d : kDrawers) {
    WriteDeviceKey(d, "", "False");
    Drawer drawer(d);
    EXPECT_EQ(drawer.Open(), opos::kNoService) << d.module;
    EXPECT_EQ(drawer.Number(opos::kPidxResultCodeExtended), opos::kNoService);
    EXPECT_EQ(drawer.String(opos::kPidxCheckHealthText), cash::kDirectModeRefused);
    EXPECT_EQ(drawer.Number(opos::kPidxState), opos::kClosed);
    EXPECT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kNotClaimed);
    drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
    EXPECT_EQ(drawer.Call(L"OpenDrawer"), opos::kNotClaimed);
    EXPECT_EQ(drawer.Number(cash::kPidxDrawerOpened), 0);
    EXPECT_EQ(drawer.Wait(0, 800, 100, 100), opos::kNotClaimed);
    EXPECT_EQ(drawer.Call(L"Close"), opos::kSuccess);
    // The next open with the driver path asked for starts afresh.
    WriteDeviceKey(d, "", "True");
    EXPECT_EQ(drawer.Open(), opos::kNoService);
    EXPECT_EQ(drawer.String(opos::kPidxCheckHealthText), L"OK");
  }
}

// ---- With the simulated driver --------------------------------------------------

class DriverTest : public CashTest {
 protected:
  static void SetUpTestSuite() {
    CashTest::SetUpTestSuite();
    driver_ = new testbed::KernelService("Tillport", testbed::BesideThisProgram("TillportSim.sys"));
    std::string error;
    ASSERT_TRUE(driver_->Install(error)) << error;
    ASSERT_EQ(driver_->Start(), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(testbed::WaitForDevice(TILLPORT_USER_PATH_W, true, 20000));
  }
  static void TearDownTestSuite() {
    delete driver_;  // stops and removes the service
    driver_ = nullptr;
  }
  void SetUp() override {
    CashTest::SetUp();
    ASSERT_TRUE(hand.Open());
    ASSERT_TRUE(hand.SetDrawer(1, true));
    ASSERT_TRUE(hand.SetDrawer(2, true));
    ASSERT_TRUE(hand.ClearLog());
    for (const cash::DrawerVariant& d : kDrawers) WriteDeviceKey(d, "", "");
  }

  // Open, claimed and enabled, the first poll's SOStatusUpdate(0) received.
  void Enable(Drawer& drawer) {
    ASSERT_TRUE(drawer.Created());
    ASSERT_EQ(drawer.Open(), opos::kSuccess);
    ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(1000)}), opos::kSuccess);
    drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
    ASSERT_TRUE(drawer.PumpUntilUpdates(1, kEventWait));
    ASSERT_EQ(drawer.Updates(), std::vector<long>{0});
    drawer.control.Clear();
  }

  static testbed::KernelService* driver_;
  Hand hand;
};

testbed::KernelService* DriverTest::driver_ = nullptr;

TEST_F(DriverTest, ResultCodesInEveryState) {
  for (const cash::DrawerVariant& d : kDrawers) {
    WriteDeviceKey(d, "False", "");  // no status capability: the wait answers at once
    Drawer drawer(d);
    // Each method's result in the states not open, open, claimed, enabled.
    struct Row {
      const wchar_t* method;
      std::vector<long> args;
      long results[4];
    };
    const Row rows[] = {
        {L"CheckHealth", {1}, {103, 103, 0, 0}},
        {L"CheckHealth", {3}, {103, 103, 0, 0}},
        {L"OpenDrawer", {}, {103, 103, 105, 0}},
        {L"WaitForDrawerClose", {100, 800, 100, 100}, {103, 103, 105, 111}},
        {L"COFreezeEvents", {1}, {0, 0, 0, 0}},
    };
    EXPECT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kNotClaimed);
    EXPECT_EQ(drawer.Call(L"Release"), opos::kNotClaimed);
    for (int state = 0; state < 4; ++state) {
      if (state == 1) {
        ASSERT_EQ(drawer.Open(), opos::kSuccess);
      }
      if (state == 2) {
        ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kSuccess);
      }
      if (state == 3) drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
      for (const Row& row : rows) {
        std::vector<VARIANT> args;
        for (long a : row.args) args.push_back(testbed::Long(a));
        if (std::wstring(row.method) == L"COFreezeEvents") {
          VARIANT b;
          VariantInit(&b);
          V_VT(&b) = VT_BOOL;
          V_BOOL(&b) = VARIANT_TRUE;
          args = {b};
        }
        const LONGLONG start = Now();
        EXPECT_EQ(drawer.Call(row.method, args), row.results[state]) << d.module << " state " << state;
        EXPECT_EQ(drawer.Number(opos::kPidxResultCode), row.results[state]);
        EXPECT_EQ(drawer.Number(opos::kPidxResultCodeExtended), row.results[state]);
        if (std::wstring(row.method) == L"WaitForDrawerClose") {
          EXPECT_LT(Ms(start, Now()), 200.0);
        }
      }
      long data = 5;
      BSTR text = SysAllocString(L"t");
      VARIANT pd, ps;
      V_VT(&pd) = VT_I4 | VT_BYREF;
      V_I4REF(&pd) = &data;
      V_VT(&ps) = VT_BSTR | VT_BYREF;
      V_BSTRREF(&ps) = &text;
      EXPECT_EQ(drawer.Call(L"DirectIO", {testbed::Long(1), pd, ps}), opos::kIllegal);
      EXPECT_EQ(data, 5);
      EXPECT_EQ(std::wstring(text), L"t");
      SysFreeString(text);
      EXPECT_EQ(drawer.Number(opos::kPidxState), state == 0 ? opos::kClosed : opos::kIdle);
      EXPECT_EQ(drawer.Number(opos::kPidxClaimed), state >= 2 ? 1 : 0);
    }
    // Release from enabled, then Release again, then Close.
    EXPECT_EQ(drawer.Call(L"Release"), opos::kSuccess);
    EXPECT_EQ(drawer.Number(opos::kPidxDeviceEnabled), 0);
    EXPECT_EQ(drawer.Number(opos::kPidxClaimed), 0);
    EXPECT_EQ(drawer.Call(L"Release"), opos::kNotClaimed);
    EXPECT_EQ(drawer.Call(L"Close"), opos::kSuccess);
    EXPECT_EQ(drawer.Number(opos::kPidxResultCode), opos::kSuccess);
    EXPECT_EQ(drawer.Number(opos::kPidxState), opos::kClosed);
  }
}

TEST_F(DriverTest, KickBytesAndTimesInTheDriverLog) {
  for (const cash::DrawerVariant& d : kDrawers) {
    Drawer drawer(d);
    ASSERT_EQ(drawer.Open(), opos::kSuccess);
    ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kSuccess);
    drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
    ASSERT_TRUE(hand.ClearLog());
    ASSERT_EQ(drawer.Call(L"OpenDrawer"), opos::kSuccess);
    EXPECT_EQ(drawer.Number(cash::kPidxDrawerOpened), 1);
    const std::vector<TillportSimLogEntry> log = hand.Log();
    ASSERT_EQ(log.size(), 2u) << d.module;
    // PortNumber 0 of the range at 0x200: the kick value, then 0 some 300 ms later.
    EXPECT_EQ(log[0].Port, 0x200u);
    EXPECT_EQ(log[0].Size, 1u);
    EXPECT_EQ(log[0].Value, d.kickValue);
    EXPECT_EQ(log[1].Port, 0x200u);
    EXPECT_EQ(log[1].Value, 0u);
    const std::uint32_t pulse = log[1].TimeMs - log[0].TimeMs;
    EXPECT_GE(pulse, 290u);
    EXPECT_LE(pulse, 600u);
    EXPECT_EQ(drawer.Call(L"Release"), opos::kSuccess);
    EXPECT_EQ(drawer.Call(L"Close"), opos::kSuccess);
  }
}

TEST_F(DriverTest, StatusBitsOfEachDrawer) {
  Drawer one(kDrawer1), two(kDrawer2);
  ASSERT_EQ(one.Open(), opos::kSuccess);
  ASSERT_EQ(two.Open(), opos::kSuccess);
  // Status 0x02: drawer 2 closed, drawer 1 open.
  ASSERT_TRUE(hand.SetDrawer(1, false));
  EXPECT_EQ(two.Number(cash::kPidxDrawerOpened), 0);
  EXPECT_EQ(one.Number(cash::kPidxDrawerOpened), 1);
  // Status 0x01: drawer 2 open, drawer 1 closed.
  ASSERT_TRUE(hand.SetDrawer(1, true));
  ASSERT_TRUE(hand.SetDrawer(2, false));
  EXPECT_EQ(two.Number(cash::kPidxDrawerOpened), 1);
  EXPECT_EQ(one.Number(cash::kPidxDrawerOpened), 0);
  ASSERT_TRUE(hand.SetDrawer(2, true));
  EXPECT_EQ(two.Number(cash::kPidxDrawerOpened), 0);
  // Reads only: nothing written to the ports.
  EXPECT_TRUE(hand.Log().empty());
}

TEST_F(DriverTest, OpenDrawerThenHandClosingReportsOpenAndClosedOnce) {
  Drawer drawer(kDrawer1);
  Enable(drawer);
  ASSERT_EQ(drawer.Call(L"OpenDrawer"), opos::kSuccess);
  ASSERT_TRUE(drawer.PumpUntilUpdates(1, kEventWait));
  ASSERT_TRUE(hand.SetDrawer(1, true));
  ASSERT_TRUE(drawer.PumpUntilUpdates(2, kEventWait));
  testbed::PumpUntil([] { return false; }, 1500);  // nothing more comes
  EXPECT_EQ(drawer.Updates(), (std::vector<long>{1, 0}));
  // On the application's thread.
  for (const testbed::EventCall& c : drawer.control.Calls()) EXPECT_EQ(c.thread, GetCurrentThreadId());
  EXPECT_EQ(drawer.Call(L"Release"), opos::kSuccess);
}

TEST_F(DriverTest, DrawerOpenedByHandIsReportedLikeOne) {
  Drawer drawer(kDrawer2);
  Enable(drawer);
  // Status reporting does not depend on either freeze flag.
  drawer.SetNumber(opos::kPidxFreezeEvents, 1);
  VARIANT freeze;
  VariantInit(&freeze);
  V_VT(&freeze) = VT_BOOL;
  V_BOOL(&freeze) = VARIANT_TRUE;
  EXPECT_EQ(drawer.Call(L"COFreezeEvents", {freeze}), opos::kSuccess);
  ASSERT_TRUE(hand.SetDrawer(2, false));
  ASSERT_TRUE(drawer.PumpUntilUpdates(1, kEventWait));
  ASSERT_TRUE(hand.SetDrawer(2, true));
  ASSERT_TRUE(drawer.PumpUntilUpdates(2, kEventWait));
  testbed::PumpUntil([] { return false; }, 1500);
  EXPECT_EQ(drawer.Updates(), (std::vector<long>{1, 0}));
  EXPECT_EQ(drawer.Call(L"Close"), opos::kSuccess);
}

TEST_F(DriverTest, AnOpenDrawerAtTheFirstPollIsNotReported) {
  ASSERT_TRUE(hand.SetDrawer(1, false));
  Drawer drawer(kDrawer1);
  ASSERT_EQ(drawer.Open(), opos::kSuccess);
  ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kSuccess);
  drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
  testbed::PumpUntil([] { return false; }, 2500);
  EXPECT_TRUE(drawer.Updates().empty());
  ASSERT_TRUE(hand.SetDrawer(1, true));
  ASSERT_TRUE(drawer.PumpUntilUpdates(1, kEventWait));
  EXPECT_EQ(drawer.Updates(), std::vector<long>{0});
}

TEST_F(DriverTest, ASecondDeviceEnabledWriteStartsNoSecondMonitor) {
  Drawer drawer(kDrawer1);
  ASSERT_EQ(drawer.Open(), opos::kSuccess);
  ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kSuccess);
  const int before = ThreadCount();
  drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
  EXPECT_EQ(ThreadCount(), before + 1);
  drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
  drawer.SetNumber(opos::kPidxDeviceEnabled, 0);
  drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
  EXPECT_EQ(ThreadCount(), before + 1);
  ASSERT_TRUE(drawer.PumpUntilUpdates(1, kEventWait));
  testbed::PumpUntil([] { return false; }, 2200);
  EXPECT_EQ(drawer.Updates(), std::vector<long>{0});  // one monitor, one first report
  EXPECT_EQ(drawer.Call(L"Release"), opos::kSuccess);
  EXPECT_TRUE(testbed::PumpUntil([&] { return ThreadCount() == before; }, 2000));
}

TEST_F(DriverTest, WaitForDrawerCloseWithoutStatusCapabilityFailsAtOnce) {
  WriteDeviceKey(kDrawer2, "False", "");
  Drawer drawer(kDrawer2);
  Enable(drawer);
  EXPECT_EQ(drawer.Number(cash::kPidxCapStatus), 0);
  const LONGLONG start = Now();
  EXPECT_EQ(drawer.Wait(1000, 800, 200, 500), opos::kFailure);
  EXPECT_LT(Ms(start, Now()), 200.0);
  EXPECT_EQ(drawer.Number(opos::kPidxResultCodeExtended), opos::kFailure);
}

// Closes drawer `number` by hand after `delayMs`, on a thread of its own,
// and notes the moment.
struct LateHand {
  LateHand(int n, DWORD ms) : number(n), delayMs(ms) {}
  int number;
  DWORD delayMs;
  LONGLONG closedAt = 0;
  kit::UniqueHandle thread;
  void Start() {
    thread.reset(CreateThread(
        nullptr, 0,
        [](void* p) WINAPI -> DWORD {
          auto* self = static_cast<LateHand*>(p);
          Sleep(self->delayMs);
          Hand own;
          if (own.Open()) {
            own.SetDrawer(self->number, true);
            self->closedAt = Now();
          }
          return 0;
        },
        this, 0, nullptr));
  }
  void Join() {
    if (thread) WaitForSingleObject(thread.get(), 30000);
  }
};

TEST_F(DriverTest, WaitForDrawerCloseReturnsWithinAStepOfTheHand) {
  Drawer drawer(kDrawer1);
  Enable(drawer);
  // Closed already: 2 s, then 0.
  LONGLONG start = Now();
  EXPECT_EQ(drawer.Wait(10000, 800, 100, 100), opos::kSuccess);
  EXPECT_GE(Ms(start, Now()), 1900.0);
  EXPECT_LT(Ms(start, Now()), 2600.0);
  // Opened by the hand and closed 3 s into the wait.
  ASSERT_TRUE(hand.SetDrawer(1, false));
  LateHand late(1, 3000);
  late.Start();
  EXPECT_EQ(drawer.Wait(60000, 800, 100, 100), opos::kSuccess);
  const LONGLONG returned = Now();
  late.Join();
  ASSERT_NE(late.closedAt, 0);
  EXPECT_LT(Ms(late.closedAt, returned), 200.0);
  EXPECT_EQ(drawer.Number(cash::kPidxDrawerOpened), 0);
}

// Polls, without taking any message, until a status event waits in this
// thread's queue.
bool EventWaitsInQueue(DWORD timeoutMs) {
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  MSG msg;
  while (!PeekMessageW(&msg, nullptr, opos::kWmSoEvent, opos::kWmSoEvent, PM_NOREMOVE)) {
    if (GetTickCount64() >= until) return false;
    Sleep(20);
  }
  return true;
}

// The case that used to hang: the monitor has seen the drawer open and waits
// for its status event to be fired, which only this thread can do, while
// this thread is inside WaitForDrawerClose.
TEST_F(DriverTest, WaitForDrawerCloseEndsWhileTheMonitorWaitsForItsEvent) {
  Drawer drawer(kDrawer2);
  Enable(drawer);
  ASSERT_EQ(drawer.Call(L"OpenDrawer"), opos::kSuccess);
  LateHand late(2, 3500);
  late.Start();
  EXPECT_EQ(drawer.Wait(60000, 800, 100, 100), opos::kSuccess);
  const LONGLONG returned = Now();
  late.Join();
  ASSERT_NE(late.closedAt, 0);
  EXPECT_LT(Ms(late.closedAt, returned), 200.0);
  // The monitor's status event was waiting in this thread's queue, unfired.
  EXPECT_TRUE(drawer.Updates().empty());
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, opos::kWmSoEvent, opos::kWmSoEvent, PM_NOREMOVE));
  // Once this thread takes its messages again, both changes come.
  ASSERT_TRUE(drawer.PumpUntilUpdates(2, kEventWait));
  EXPECT_EQ(drawer.Updates(), (std::vector<long>{1, 0}));
  EXPECT_EQ(drawer.Call(L"Release"), opos::kSuccess);
}

TEST_F(DriverTest, ClaimAfterReleaseOpensTheDriverAgain) {
  Drawer drawer(kDrawer2);
  Enable(drawer);
  EXPECT_EQ(drawer.Call(L"Release"), opos::kSuccess);
  EXPECT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kSuccess);
  drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
  ASSERT_TRUE(hand.ClearLog());
  EXPECT_EQ(drawer.Call(L"OpenDrawer"), opos::kSuccess);
  const std::vector<TillportSimLogEntry> log = hand.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Value, 0x04u);
  // A monitor runs again after the new Claim: its first poll sees the
  // drawer open (nothing to report), then the hand closes it.
  testbed::PumpUntil([] { return false; }, 1500);
  EXPECT_TRUE(drawer.Updates().empty());
  ASSERT_TRUE(hand.SetDrawer(2, true));
  ASSERT_TRUE(drawer.PumpUntilUpdates(1, kEventWait));
  EXPECT_EQ(drawer.Updates(), std::vector<long>{0});
  EXPECT_EQ(drawer.Call(L"Close"), opos::kSuccess);
}

TEST_F(DriverTest, BothModulesOpenAtOnce) {
  Drawer one(kDrawer1), two(kDrawer2);
  Enable(one);
  Enable(two);
  EXPECT_NE(GetModuleHandleW(L"KvCash1So.dll"), nullptr);
  EXPECT_NE(GetModuleHandleW(L"KvCash2So.dll"), nullptr);
  ASSERT_TRUE(hand.ClearLog());
  ASSERT_EQ(two.Call(L"OpenDrawer"), opos::kSuccess);
  ASSERT_TRUE(two.PumpUntilUpdates(1, kEventWait));
  testbed::PumpUntil([] { return false; }, 1200);
  EXPECT_EQ(two.Updates(), std::vector<long>{1});
  EXPECT_TRUE(one.Updates().empty());
  EXPECT_EQ(one.Number(cash::kPidxDrawerOpened), 0);
  ASSERT_EQ(one.Call(L"OpenDrawer"), opos::kSuccess);
  ASSERT_TRUE(one.PumpUntilUpdates(1, kEventWait));
  EXPECT_EQ(one.Updates(), std::vector<long>{1});
  const std::vector<TillportSimLogEntry> log = hand.Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].Value, 0x04u);
  EXPECT_EQ(log[1].Value, 0x00u);
  EXPECT_EQ(log[2].Value, 0x01u);
  EXPECT_EQ(log[3].Value, 0x00u);
  EXPECT_EQ(one.Call(L"Close"), opos::kSuccess);
  EXPECT_EQ(two.Call(L"Close"), opos::kSuccess);
}

// ---- Lifecycle and unload ------------------------------------------------------

bool Unloaded(const wchar_t* module) {
  return testbed::PumpUntil(
      [&] {
        CoFreeUnusedLibrariesEx(0, 0);
        return GetModuleHandleW(module) == nullptr;
      },
      5000);
}

TEST_F(DriverTest, FiftyCyclesThenTheModuleUnloadsAndItsThreadsAreGone) {
  {
    Drawer warmUp(kDrawer1);
    ASSERT_EQ(warmUp.Open(), opos::kSuccess);
  }
  ASSERT_TRUE(Unloaded(L"KvCash1So.dll"));
  const int before = ThreadCount();
  {
    Drawer drawer(kDrawer1);
    ASSERT_TRUE(drawer.Created());
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(drawer.Open(), opos::kSuccess) << i;
      ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kSuccess);
      drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
      ASSERT_EQ(drawer.Call(L"OpenDrawer"), opos::kSuccess);
      ASSERT_EQ(drawer.Call(L"Release"), opos::kSuccess);
      ASSERT_EQ(drawer.Call(L"Close"), opos::kSuccess);
      testbed::PumpUntil([] { return true; }, 0);
    }
    EXPECT_EQ(hand.Log().size(), 100u);
  }
  EXPECT_TRUE(Unloaded(L"KvCash1So.dll"));
  EXPECT_TRUE(testbed::PumpUntil([&] { return ThreadCount() == before; }, 3000))
      << ThreadCount() << " threads, " << before << " before";
}

// The application closes the drawer and drops its last reference from
// inside the status event handler: the firing finishes on a live object,
// both heaps stay sound, and the module still unloads.
TEST_F(DriverTest, CloseAndReleaseInsideTheStatusEvent) {
  for (const cash::DrawerVariant& d : kDrawers) {
    for (int i = 0; i < 3; ++i) {
      Drawer drawer(d);
      drawer.control.onEventContext = &drawer;
      drawer.control.onEvent = [](void* self, const testbed::EventCall&) {
        auto* app = static_cast<Drawer*>(self);
        if (!app->Created()) return;
        EXPECT_EQ(app->Call(L"Close"), opos::kSuccess);
        app->Drop();
      };
      ASSERT_EQ(drawer.Open(), opos::kSuccess);
      ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(1000)}), opos::kSuccess);
      drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
      ASSERT_TRUE(drawer.PumpUntilUpdates(1, kEventWait)) << d.module << " " << i;
      EXPECT_FALSE(drawer.Created());
      testbed::PumpUntil([] { return false; }, 20);
      ASSERT_EQ(_heapchk(), _HEAPOK) << d.module << " " << i;
      ASSERT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << d.module << " " << i;
    }
  }
}

// ---- Field trace ------------------------------------------------------------

// The trace of drawer 2 at level 2, in a log folder of the test's own: the
// calls with their results, the status event, and every port access.
TEST_F(DriverTest, TraceAtLevelTwoShowsCallsEventsAndPortAccesses) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring programData = std::wstring(temp) + L"kit-drawer-trace-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(programData.c_str(), nullptr);
  SetEnvironmentVariableW(L"ProgramData", programData.c_str());
  {
    kit::UniqueKey key;
    ASSERT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, DeviceKeyPath(kDrawer2), KEY_SET_VALUE, key), ERROR_SUCCESS);
    ASSERT_EQ(kit::SetDword(key.get(), "TraceLevel", 2), ERROR_SUCCESS);
  }
  {
    Drawer drawer(kDrawer2);
    Enable(drawer);
    ASSERT_EQ(drawer.Call(L"OpenDrawer"), opos::kSuccess);
    ASSERT_EQ(drawer.Call(L"Release"), opos::kSuccess);
    ASSERT_EQ(drawer.Call(L"Close"), opos::kSuccess);
  }
  SetEnvironmentVariableW(L"ProgramData", nullptr);
  kit::UniqueHandle file(CreateFileW((programData + L"\\PosKit\\Logs\\KvCash2.log").c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  ASSERT_TRUE(file);
  std::string log(1 << 16, '\0');
  DWORD got = 0;
  ReadFile(file.get(), log.data(), static_cast<DWORD>(log.size()), &got, nullptr);
  log.resize(got);
  std::size_t at = 0;
  for (const char* entry : {"OpenService(\"CashDrawer\", \"KvCash2\", IDispatch) -> 0 [ResultCode 0",
                            "Claim(1000) -> 0", "port read 1 = 0x03", "event SOStatusUpdate(0) -> 0x00000000",
                            "port write 0 = 0x04", "port write 0 = 0x00", "OpenDrawer() -> 0 [ResultCode 0",
                            "Release() -> 0", "Close() -> 0"}) {
    at = log.find(entry, at);
    ASSERT_NE(at, std::string::npos) << entry << " not in order in:\n" << log;
  }
}

// An application that loads a drawer for one job at a time: each round
// creates the object, polls the drawer, releases, closes and frees it, and
// lets COM unload the module; both modules come and go twenty times.
TEST_F(DriverTest, TwentyRoundsEachEndingInUnload) {
  const int before = ThreadCount();
  for (const cash::DrawerVariant& d : kDrawers) {
    const std::wstring module = std::wstring(d.module, d.module + std::strlen(d.module)) + L".dll";
    ASSERT_TRUE(Unloaded(module.c_str()));
    for (int i = 0; i < 20; ++i) {
      {
        Drawer drawer(d);
        ASSERT_EQ(drawer.Open(), opos::kSuccess) << d.module << " " << i;
        ASSERT_EQ(drawer.Call(L"Claim", {testbed::Long(0)}), opos::kSuccess);
        drawer.SetNumber(opos::kPidxDeviceEnabled, 1);
        ASSERT_TRUE(hand.SetDrawer(d.number, i % 2 == 0));
        EXPECT_EQ(drawer.Number(cash::kPidxDrawerOpened), i % 2 == 0 ? 0 : 1) << d.module << " " << i;
        ASSERT_EQ(drawer.Call(L"Release"), opos::kSuccess);
        ASSERT_EQ(drawer.Call(L"Close"), opos::kSuccess);
      }
      ASSERT_TRUE(Unloaded(module.c_str())) << d.module << " " << i;
    }
  }
  EXPECT_TRUE(testbed::PumpUntil([&] { return ThreadCount() == before; }, 3000))
      << ThreadCount() << " threads, " << before << " before";
}

TEST_F(DriverTest, ReleaseEndsAMonitorWaitingForAnEventThatNeverFires) {
  {
    Drawer warmUp(kDrawer2);
  }
  ASSERT_TRUE(Unloaded(L"KvCash2So.dll"));
  const int before = ThreadCount();
  {
    Drawer drawer(kDrawer2);
    Enable(drawer);
    ASSERT_EQ(drawer.Call(L"OpenDrawer"), opos::kSuccess);
    // Without taking messages, until the monitor has posted its event and
    // waits for it.
    ASSERT_TRUE(EventWaitsInQueue(kEventWait));
    const LONGLONG start = Now();
    EXPECT_EQ(drawer.Call(L"Release"), opos::kSuccess);
    EXPECT_LT(Ms(start, Now()), 1000.0);
    EXPECT_EQ(ThreadCount(), before);
    // The event posted to the window that is gone is never fired.
    testbed::PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(drawer.Updates().empty());
  }
  EXPECT_TRUE(Unloaded(L"KvCash2So.dll"));
  EXPECT_EQ(ThreadCount(), before);
}

TEST_F(DriverTest, AnObjectDroppedWhileEnabledStopsItsMonitor) {
  {
    Drawer warmUp(kDrawer1);
  }
  ASSERT_TRUE(Unloaded(L"KvCash1So.dll"));
  const int before = ThreadCount();
  {
    Drawer drawer(kDrawer1);
    Enable(drawer);
  }  // no Release, no Close
  EXPECT_TRUE(Unloaded(L"KvCash1So.dll"));
  EXPECT_EQ(ThreadCount(), before);
}

}  // namespace
}  // namespace cashtest
