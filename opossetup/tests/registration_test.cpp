#include "registration.h"

#include <gtest/gtest.h>

#include "memorystore.h"

namespace opos {
namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

const std::string kDrawers = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";
const std::string kDisplays = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";
const std::string kMsrs = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\MSR";
const std::string kCash1 = kDrawers + "\\KvCash1";
const std::string kCash2 = kDrawers + "\\KvCash2";
const std::string kDisplay = kDisplays + "\\KvDisplay";
const std::string kMsr = kMsrs + "\\KvMsr";

constexpr auto CD1 = DeviceId::kCashDrawer1;
constexpr auto CD2 = DeviceId::kCashDrawer2;
constexpr auto LD = DeviceId::kLineDisplay;
constexpr auto MSR = DeviceId::kMsr;

// The installation's keys, as the registry script lays them down.
class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& path : {kDrawers, kDisplays, kMsrs}) store_.AddKey(path);
    store_.Set(kCash1, "", "KvSo.KvCash1");
    store_.Set(kCash1, "OpSysNT", "True");
    store_.Set(kCash2, "", "KvSo.KvCash2");
    store_.Set(kCash2, "OpSysNT", "True");
    store_.Set(kDisplay, "", "KvSo.KvDisplay");
    store_.Set(kMsr, "", "KvSo.KvMsr");
    store_.Set(kMsr, "Type", "Serial");
  }
  void TearDown() override { EXPECT_EQ(store_.OpenKeys(), 0) << "a key was left open"; }

  const DeviceView& Load() {
    regs_.Load();
    return regs_.View(CD1);
  }
  const DeviceView& View(DeviceId id) { return regs_.View(id); }

  MemoryStore store_;
  Registrations regs_{store_};
};

TEST_F(RegistrationTest, RecognisesTheInstalledDevices) {
  Load();
  for (const auto& device : kDevices) {
    EXPECT_TRUE(View(device.id).registered) << device.title;
    EXPECT_EQ(View(device.id).deviceName, device.deviceKey);
    EXPECT_EQ(View(device.id).customName, "");
    EXPECT_FALSE(View(device.id).switchOn);
  }
  EXPECT_EQ(View(LD).ports, std::vector<std::string>(kPorts.begin(), kPorts.end()));
  EXPECT_EQ(View(LD).portSelection, -1);
  EXPECT_EQ(View(MSR).ports.size(), 8u);
  EXPECT_TRUE(View(CD1).ports.empty());
}

TEST_F(RegistrationTest, ProgIdIsComparedExactly) {
  store_.Set(kCash1, "", "KvSO.KvCash1");  // COM would take it; recognition does not
  store_.Set(kCash1, "CapStatus", "True");
  store_.Set(kDrawers, "Till", "KvCash1");
  store_.Set(kMsr, "", "kvso.kvmsr");
  Load();
  EXPECT_FALSE(View(CD1).registered);
  EXPECT_EQ(View(CD1).deviceName, kNotSelected);
  EXPECT_FALSE(View(CD1).switchOn);
  EXPECT_EQ(View(CD1).customName, "");
  EXPECT_FALSE(View(MSR).registered);
  EXPECT_TRUE(View(MSR).ports.empty());
  EXPECT_TRUE(View(CD2).registered);
}

TEST_F(RegistrationTest, MissingOrClosedKeysAreNotSelected) {
  store_.RemoveKey(kCash2);
  store_.DenyOpen(kMsr);
  Load();
  EXPECT_EQ(View(CD2).deviceName, kNotSelected);
  EXPECT_EQ(View(MSR).deviceName, kNotSelected);
  EXPECT_FALSE(View(MSR).registered);
  const int writes = store_.Writes();
  EXPECT_TRUE(regs_.AddCustomDeviceName(CD2, "Till").ok);
  EXPECT_TRUE(regs_.RemoveCustomDeviceName(MSR).ok);
  EXPECT_TRUE(regs_.WriteCapStatus(CD2).ok);
  EXPECT_FALSE(View(CD2).switchOn);
  EXPECT_TRUE(regs_.WriteIncludeLrc().ok);
  EXPECT_TRUE(regs_.WritePort(MSR, "COM1").ok);
  EXPECT_EQ(store_.Writes(), writes) << "an unregistered device was written";
}

TEST_F(RegistrationTest, LineDisplayNameShowsWhenItsKeyOpens) {
  store_.Set(kDisplay, "", "Some.Other");
  Load();
  EXPECT_EQ(View(LD).deviceName, "KvDisplay");
  EXPECT_FALSE(View(LD).registered);
  EXPECT_TRUE(View(LD).ports.empty());
}

TEST_F(RegistrationTest, SwitchesReadExactlyTrue) {
  store_.Set(kCash1, "CapStatus", "True");
  store_.Set(kCash2, "CapStatus", "true");
  store_.Set(kMsr, "Lrc", "True");
  Load();
  EXPECT_TRUE(View(CD1).switchOn);
  EXPECT_FALSE(View(CD2).switchOn);
  EXPECT_TRUE(View(MSR).switchOn);
}

TEST_F(RegistrationTest, MissingCapStatusShowsOffAndAClickWritesTrue) {
  Load();
  ASSERT_FALSE(View(CD1).switchOn);
  EXPECT_TRUE(regs_.WriteCapStatus(CD1).ok);
  EXPECT_TRUE(View(CD1).switchOn);
  EXPECT_EQ(store_.Get(kCash1, "CapStatus"), "True");
  EXPECT_TRUE(regs_.WriteCapStatus(CD1).ok);
  EXPECT_EQ(store_.Get(kCash1, "CapStatus"), "False");
  EXPECT_FALSE(store_.Get(kCash2, "CapStatus"));
  EXPECT_TRUE(regs_.WriteIncludeLrc().ok);
  EXPECT_EQ(store_.Get(kMsr, "Lrc"), "True");
  EXPECT_TRUE(View(MSR).switchOn);
}

// Data longer than the kit's own values reads as missing; value names are
// read whole, however long the registry lets them be.
TEST_F(RegistrationTest, OverlongDataReadsAsMissingLongNamesReadWhole) {
  store_.Set(kCash1, "CapStatus", "True" + std::string(300, ' '));
  store_.Set(kDrawers, std::string(300, 'n'), "KvCash1");
  store_.Set(kDrawers, "Till", "KvCash2");
  Load();
  EXPECT_FALSE(View(CD1).switchOn);
  EXPECT_EQ(View(CD1).customName, std::string(300, 'n'));
  EXPECT_EQ(View(CD2).customName, "Till");
}

// A name of any length the registry takes is this device's alias like any
// other: the next Add replaces it, and no second alias stays behind.
TEST_F(RegistrationTest, AddReplacesAnAliasWithALongName) {
  Load();
  for (std::size_t length : {256u, 5000u, 16383u}) {
    const std::string longName(length, 'L');
    ASSERT_TRUE(regs_.AddCustomDeviceName(MSR, longName).ok) << length;
    EXPECT_EQ(View(MSR).customName, longName);
    ASSERT_TRUE(regs_.AddCustomDeviceName(MSR, "a").ok) << length;
    EXPECT_EQ(store_.Values(kMsrs), (Values{{"a", "KvMsr"}})) << length;
  }
  // Past the registry's limit the write is refused and the alias kept.
  EXPECT_FALSE(regs_.AddCustomDeviceName(MSR, std::string(16384, 'L')).ok);
  EXPECT_EQ(store_.Values(kMsrs), (Values{{"a", "KvMsr"}}));
  EXPECT_EQ(View(MSR).customName, "a");
}

// Value names compare as the registry compares them: without regard to
// case in every script, not only in ASCII.
TEST_F(RegistrationTest, NamesCompareAsTheRegistryDoesBeyondAscii) {
  store_.Set(kDrawers, "CAF\u00c9", "AcmeDrawer");  // "CAFÉ" of another vendor
  Load();
  const Outcome outcome = regs_.AddCustomDeviceName(CD1, "caf\u00e9");
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(store_.Values(kDrawers), (Values{{"CAF\u00c9", "AcmeDrawer"}})) << "the vendor's value stays";

  // Our own "ΚΑΣΣΑ" and the same name in small letters: one value, kept.
  ASSERT_TRUE(regs_.AddCustomDeviceName(CD2, "\u039a\u0391\u03a3\u03a3\u0391").ok);
  ASSERT_TRUE(regs_.AddCustomDeviceName(CD2, "\u03ba\u03b1\u03c3\u03c3\u03b1").ok);
  EXPECT_EQ(store_.Get(kDrawers, "\u03ba\u03b1\u03c3\u03c3\u03b1"), "KvCash2");
  EXPECT_EQ(store_.Values(kDrawers).size(), 2u);
  EXPECT_EQ(View(CD2).customName, "\u03ba\u03b1\u03c3\u03c3\u03b1");
  Load();
  EXPECT_FALSE(View(CD2).customName.empty()) << "the alias survived its own replacement";
}

TEST_F(RegistrationTest, AliasesOfSeveralDevicesSideBySide) {
  store_.Set(kDrawers, "OtherVendor", "AcmeDrawer");
  store_.Set(kDrawers, "Back", "KvCash2");
  store_.Set(kDrawers, "Front", "KvCash1");
  store_.Set(kDisplays, "Pole", "AcmePole");
  store_.Set(kDisplays, "Counter", "KvDisplay");
  store_.Set(kMsrs, "Swiper", "KvMsr");
  Load();
  EXPECT_EQ(View(CD1).customName, "Front");
  EXPECT_EQ(View(CD2).customName, "Back");
  EXPECT_EQ(View(LD).customName, "Counter");
  EXPECT_EQ(View(MSR).customName, "Swiper");
}

TEST_F(RegistrationTest, AddForADrawerBehindTwoOtherValues) {
  store_.Set(kDrawers, "A", "AcmeDrawer");
  store_.Set(kDrawers, "B", "KvCash2");
  Load();
  EXPECT_TRUE(regs_.AddCustomDeviceName(CD1, "Till 1").ok);
  EXPECT_EQ(View(CD1).customName, "Till 1");
  EXPECT_EQ(store_.Values(kDrawers),
            (Values{{"A", "AcmeDrawer"}, {"B", "KvCash2"}, {"Till 1", "KvCash1"}}));
}

TEST_F(RegistrationTest, AddReplacesOnlyThisDrawersAlias) {
  store_.Set(kDrawers, "Back", "KvCash2");
  store_.Set(kDrawers, "Old", "KvCash1");
  store_.Set(kDrawers, "Older", "KvCash1");
  Load();
  EXPECT_EQ(View(CD1).customName, "Old");
  EXPECT_TRUE(regs_.AddCustomDeviceName(CD1, "New").ok);
  EXPECT_EQ(View(CD1).customName, "New");
  EXPECT_EQ(View(CD2).customName, "Back");
  EXPECT_EQ(store_.Values(kDrawers), (Values{{"Back", "KvCash2"}, {"New", "KvCash1"}}));
}

TEST_F(RegistrationTest, AddForSingleAliasDevicesKeepsForeignValues) {
  store_.Set(kDisplays, "Pole", "AcmePole");
  store_.Set(kMsrs, "Old", "KvMsr");
  store_.Set(kMsrs, "Wedge", "AcmeMsr");
  Load();
  EXPECT_TRUE(regs_.AddCustomDeviceName(LD, "Customer").ok);
  EXPECT_EQ(View(LD).customName, "Customer");
  EXPECT_EQ(store_.Values(kDisplays), (Values{{"Pole", "AcmePole"}, {"Customer", "KvDisplay"}}));
  EXPECT_TRUE(regs_.AddCustomDeviceName(MSR, "Reader").ok);
  EXPECT_EQ(store_.Values(kMsrs), (Values{{"Wedge", "AcmeMsr"}, {"Reader", "KvMsr"}}));
}

TEST_F(RegistrationTest, AddTheSameNameAgainOrInOtherCase) {
  Load();
  ASSERT_TRUE(regs_.AddCustomDeviceName(CD2, "Till").ok);
  EXPECT_TRUE(regs_.AddCustomDeviceName(CD2, "Till").ok);
  EXPECT_TRUE(regs_.AddCustomDeviceName(CD2, "TILL").ok);
  EXPECT_EQ(store_.Values(kDrawers).size(), 1u);
  EXPECT_EQ(store_.Get(kDrawers, "till"), "KvCash2");
}

TEST_F(RegistrationTest, AddRefusesANameThatStandsForAnotherDevice) {
  store_.Set(kDrawers, "Till", "KvCash2");
  store_.Set(kDrawers, "Mine", "KvCash1");
  Load();
  const Outcome outcome = regs_.AddCustomDeviceName(CD1, "till");
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.message.find("\"till\""), std::string::npos) << outcome.message;
  EXPECT_NE(outcome.message.find("KvCash2"), std::string::npos) << outcome.message;
  EXPECT_EQ(View(CD1).customName, "Mine");
  EXPECT_EQ(store_.Values(kDrawers), (Values{{"Till", "KvCash2"}, {"Mine", "KvCash1"}}));
}

TEST_F(RegistrationTest, AddIsRefusedWhenEmpty) {
  Load();
  const int writes = store_.Writes();
  EXPECT_TRUE(regs_.AddCustomDeviceName(LD, "").ok);
  EXPECT_EQ(store_.Writes(), writes);
}

TEST_F(RegistrationTest, RemoveTouchesOnlyThisDevicesAliases) {
  store_.Set(kMsrs, "Wedge", "AcmeMsr");
  store_.Set(kMsrs, "Swiper", "KvMsr");
  store_.Set(kMsrs, "Swiper2", "KvMsr");
  store_.Set(kDrawers, "Back", "KvCash2");
  store_.Set(kDrawers, "Front", "KvCash1");
  Load();
  EXPECT_TRUE(regs_.RemoveCustomDeviceName(MSR).ok);
  EXPECT_EQ(View(MSR).customName, "");
  EXPECT_EQ(store_.Values(kMsrs), (Values{{"Wedge", "AcmeMsr"}}));
  EXPECT_TRUE(regs_.RemoveCustomDeviceName(CD2).ok);
  EXPECT_EQ(View(CD2).customName, "");
  EXPECT_EQ(View(CD1).customName, "Front");
  EXPECT_EQ(store_.Values(kDrawers), (Values{{"Front", "KvCash1"}}));
  EXPECT_TRUE(regs_.RemoveCustomDeviceName(LD).ok);  // nothing to remove
}

TEST_F(RegistrationTest, FailedAliasWritesKeepTheStoredAlias) {
  store_.Set(kDrawers, "Front", "KvCash1");
  Load();
  store_.DenyWrite(kDrawers);
  Outcome outcome = regs_.AddCustomDeviceName(CD1, "Till");
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.message, "Cash Drawer 1: the custom device name \"Till\" could not be saved.");
  EXPECT_EQ(View(CD1).customName, "Front");
  outcome = regs_.RemoveCustomDeviceName(CD1);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(View(CD1).customName, "Front");
  EXPECT_EQ(store_.Values(kDrawers), (Values{{"Front", "KvCash1"}}));

  // The new name is saved but the old one cannot be deleted: said, and the
  // field shows the alias found first.
  store_.AllowAll();
  store_.DenyWriteOf(kDrawers, "Front");
  outcome = regs_.AddCustomDeviceName(CD1, "Till");
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.message.find("\"Front\" could not be removed"), std::string::npos);
  EXPECT_EQ(View(CD1).customName, "Front");
  EXPECT_EQ(store_.Values(kDrawers), (Values{{"Front", "KvCash1"}, {"Till", "KvCash1"}}));

  store_.DenyOpen(kDrawers);
  EXPECT_FALSE(regs_.AddCustomDeviceName(CD2, "Back").ok);
  EXPECT_FALSE(regs_.RemoveCustomDeviceName(CD2).ok);
}

TEST_F(RegistrationTest, FailedSwitchWriteKeepsTheStoredState) {
  store_.Set(kCash2, "CapStatus", "True");
  Load();
  store_.DenyWriteOf(kCash2, "CapStatus");
  Outcome outcome = regs_.WriteCapStatus(CD2);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.message,
            "Cash Drawer 2: the status reporting setting (\"CapStatus\") could not be saved.");
  EXPECT_TRUE(View(CD2).switchOn);
  EXPECT_EQ(store_.Get(kCash2, "CapStatus"), "True");
  store_.DenyOpen(kMsr);
  outcome = regs_.WriteIncludeLrc();
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.message.find("\"Lrc\""), std::string::npos);
  EXPECT_FALSE(View(MSR).switchOn);
}

TEST_F(RegistrationTest, PortListSelectsTheStoredPortExactly) {
  store_.Set(kDisplay, "Port", "COM3");
  store_.Set(kMsr, "Port", "com2");
  Load();
  EXPECT_EQ(View(LD).portSelection, 2);
  EXPECT_EQ(View(MSR).portSelection, -1);
  EXPECT_TRUE(regs_.WritePort(MSR, "COM8").ok);
  EXPECT_EQ(View(MSR).portSelection, 7);
  EXPECT_EQ(store_.Get(kMsr, "Port"), "COM8");
}

TEST_F(RegistrationTest, PortOutsideTheListStaysUntilChosen) {
  store_.Set(kDisplay, "Port", "COM9");
  Load();
  EXPECT_EQ(View(LD).portSelection, -1);
  EXPECT_EQ(store_.Get(kDisplay, "Port"), "COM9");
  EXPECT_TRUE(regs_.WritePort(LD, "COM1").ok);
  EXPECT_EQ(store_.Get(kDisplay, "Port"), "COM1");
}

TEST_F(RegistrationTest, FailedPortWriteSelectsTheStoredPort) {
  store_.Set(kDisplay, "Port", "COM4");
  Load();
  store_.DenyWrite(kDisplay);
  const Outcome outcome = regs_.WritePort(LD, "COM6");
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.message, "Line Display: the serial port \"COM6\" (\"Port\") could not be saved.");
  EXPECT_EQ(View(LD).portSelection, 3);
  EXPECT_EQ(store_.Get(kDisplay, "Port"), "COM4");
}

TEST_F(RegistrationTest, KeyboardWedgeMsrHasOneEntry) {
  store_.Set(kMsr, "Type", "Keyboard");
  store_.Set(kMsr, "Port", "COM1");
  Load();
  EXPECT_EQ(View(MSR).ports, std::vector<std::string>{kKbdMsrSelected});
  EXPECT_EQ(View(MSR).portSelection, 0);
  EXPECT_TRUE(regs_.WritePort(MSR, kKbdMsrSelected).ok);
  EXPECT_EQ(store_.Get(kMsr, "Port"), "Kbd Msr Selected");
}

TEST_F(RegistrationTest, MsrTypeSerialOrMissingListsThePorts) {
  store_.Set(kMsr, "Type", "serial");
  Load();
  EXPECT_EQ(View(MSR).ports.size(), 1u) << "only exactly \"Serial\" is serial";
  store_.Set(kMsr, "Type", "Serial");
  Load();
  EXPECT_EQ(View(MSR).ports.size(), 8u);
  store_.AddKey(kMsr).values.clear();
  store_.Set(kMsr, "", "KvSo.KvMsr");
  Load();
  EXPECT_EQ(View(MSR).ports.size(), 8u);
}

TEST(MemoryStoreTest, EnumeratesInInsertionOrderAndClosesUpOnDelete) {
  MemoryStore store;
  store.AddKey("K");
  store.Set("K", "b", "1");
  store.Set("K", "a", "2");
  store.Set("K", "c", "3");
  auto key = store.OpenKey("k", Access::kReadWrite);
  ASSERT_TRUE(key);
  std::string name;
  EXPECT_EQ(key->DeleteValue("B"), StoreStatus::kOk);
  EXPECT_EQ(key->EnumValueName(0, name), StoreStatus::kOk);
  EXPECT_EQ(name, "a");
  EXPECT_EQ(key->EnumValueName(2, name), StoreStatus::kNoMoreItems);
  EXPECT_EQ(key->DeleteValue("b"), StoreStatus::kNotFound);
  EXPECT_EQ(key->SetString("A", "9"), StoreStatus::kOk);
  EXPECT_EQ(key->QueryString("a"), "9");
  EXPECT_EQ(store.Values("K").front().first, "a");
  auto reader = store.OpenKey("K", Access::kRead);
  EXPECT_EQ(reader->SetString("x", "y"), StoreStatus::kDenied);
  EXPECT_EQ(store.OpenKeys(), 2);
}

}  // namespace
}  // namespace opos

namespace opos {
namespace {

// On 64-bit Windows: the program's own view and the other one, each with
// its own class keys and other vendors' values.
class TwoViewTest : public RegistrationTest {
 protected:
  void SetUp() override {
    RegistrationTest::SetUp();
    for (const auto& path : {kDrawers, kDisplays, kMsrs}) other_.AddKey(path);
    for (const auto& [path, progId] : {std::pair{kCash1, "KvSo.KvCash1"}, {kCash2, "KvSo.KvCash2"},
                                       {kDisplay, "KvSo.KvDisplay"}, {kMsr, "KvSo.KvMsr"}}) {
      other_.Set(path, "", progId);
    }
  }
  MemoryStore other_;
  Registrations both_{store_, &other_, "32-bit"};
};

TEST_F(TwoViewTest, EveryWriteGoesToBothViews) {
  other_.Set(kDrawers, "Pole32", "AcmePole");  // only in the other view
  store_.Set(kDrawers, "Front", "KvCash1");
  both_.Load();
  EXPECT_EQ(both_.View(CD1).customName, "Front");
  ASSERT_TRUE(both_.AddCustomDeviceName(CD1, "Till 1").ok);
  EXPECT_EQ(store_.Values(kDrawers), (Values{{"Till 1", "KvCash1"}}));
  EXPECT_EQ(other_.Values(kDrawers), (Values{{"Pole32", "AcmePole"}, {"Till 1", "KvCash1"}}));
  ASSERT_TRUE(both_.WriteCapStatus(CD2).ok);
  ASSERT_TRUE(both_.WriteIncludeLrc().ok);
  ASSERT_TRUE(both_.WritePort(MSR, "COM3").ok);
  for (MemoryStore* view : {&store_, &other_}) {
    EXPECT_EQ(view->Get(kCash2, "CapStatus"), "True");
    EXPECT_EQ(view->Get(kMsr, "Lrc"), "True");
    EXPECT_EQ(view->Get(kMsr, "Port"), "COM3");
    EXPECT_FALSE(view->Get(kCash1, "CapStatus"));
  }
  ASSERT_TRUE(both_.RemoveCustomDeviceName(CD1).ok);
  EXPECT_TRUE(store_.Values(kDrawers).empty());
  EXPECT_EQ(other_.Values(kDrawers), (Values{{"Pole32", "AcmePole"}}));
  EXPECT_EQ(both_.View(CD1).customName, "");
}

// A name another device holds in either view is refused in both.
TEST_F(TwoViewTest, ANameTakenInTheOtherViewIsRefusedInBoth) {
  other_.Set(kMsrs, "Reader", "AcmeMsr");
  both_.Load();
  const Outcome outcome = both_.AddCustomDeviceName(MSR, "READER");
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.message.find("32-bit registry view"), std::string::npos) << outcome.message;
  EXPECT_TRUE(store_.Values(kMsrs).empty());
  EXPECT_EQ(other_.Values(kMsrs), (Values{{"Reader", "AcmeMsr"}}));
}

// A device the other view does not hold is written in this view only; a
// write the other view refuses is reported, and this view keeps its value.
TEST_F(TwoViewTest, TheOtherViewOnlyWhereItHoldsTheDevice) {
  other_.RemoveKey(kDisplay);
  other_.DenyWrite(kCash1);
  both_.Load();
  ASSERT_TRUE(both_.WritePort(LD, "COM2").ok);
  EXPECT_EQ(store_.Get(kDisplay, "Port"), "COM2");
  EXPECT_FALSE(other_.HasKey(kDisplay));
  const Outcome outcome = both_.WriteCapStatus(CD1);
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.message.find("\"CapStatus\""), std::string::npos) << outcome.message;
  EXPECT_NE(outcome.message.find("32-bit registry view"), std::string::npos) << outcome.message;
  EXPECT_EQ(store_.Get(kCash1, "CapStatus"), "True");
  EXPECT_TRUE(both_.View(CD1).switchOn);
}

// The other view's key is there but may not be opened (access denied): the
// write there is reported as failed, naming the view, never passed over as
// if that view held nothing.
TEST_F(TwoViewTest, AnOtherViewThatCannotBeOpenedIsReported) {
  other_.DenyOpen(kMsr);
  both_.Load();
  const Outcome lrc = both_.WriteIncludeLrc();
  EXPECT_FALSE(lrc.ok);
  EXPECT_NE(lrc.message.find("32-bit registry view"), std::string::npos) << lrc.message;
  EXPECT_EQ(store_.Get(kMsr, "Lrc"), "True");
  const Outcome port = both_.WritePort(MSR, "COM3");
  EXPECT_FALSE(port.ok);
  EXPECT_NE(port.message.find("32-bit registry view"), std::string::npos) << port.message;
}

}  // namespace
}  // namespace opos
