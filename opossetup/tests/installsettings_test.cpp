#include "installsettings.h"

#include <gtest/gtest.h>

#include "memorystore.h"

namespace opos {
namespace {

const std::string kOpos = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
const std::string kMsr = kOpos + "\\MSR\\KvMsr";
const std::string kCash1 = kOpos + "\\CashDrawer\\KvCash1";
const std::string kCash2 = kOpos + "\\CashDrawer\\KvCash2";

struct Till {
  MemoryStore store, other;
  Till() {
    for (MemoryStore* view : {&store, &other}) {
      for (const DeviceInfo& device : kDevices) {
        view->Set(DevicePath(device), "", device.progId);
        view->AddKey(ClassPath(device));
      }
    }
  }
  Outcome Apply(const std::vector<DeviceSection>& sections, const InstallValues& given, bool first) {
    Registrations regs(store, &other, "32-bit");
    regs.Load();
    return ApplyInstallSettings(regs, store, sections, given, first);
  }
};

TEST(InstallSettings, EachPropertyIsCheckedByItsSettingsRules) {
  std::string why;
  EXPECT_TRUE(CheckInstallProperties({{"MSR_PORT", "COM12"}, {"MSR_LRC", "True"}, {"TRACE_LEVEL", ""}}, false, why));
  for (const auto& [name, value] : InstallValues{{"MSR_PORT", "LPT1"}, {"TRACE_LEVEL", "7"}, {"MSR_LRC", "yes"},
                                                 {"CASHDRAWER_CAPSTATUS", "false"}, {"LINEDISPLAY_PORT", "COM"}}) {
    EXPECT_FALSE(CheckInstallProperties({{name, value}}, false, why)) << name;
    EXPECT_EQ(why.rfind(name + "=" + value + " is refused: ", 0), 0u) << why;
  }
  const InstallValues values = {{"MSR_PORT", "\\\\.\\COM12"}, {"KVOPOS_CONFIG", "C:\\a b\\shop.cfg"}};
  EXPECT_EQ(DecodeInstallValues(EncodeInstallValues(values)), values);
}

// The file first, the properties over it, then on a first install only,
// the defaults of what the till does not hold; both views alike.
TEST(InstallSettings, FileThenPropertiesThenFirstInstallDefaults) {
  Till till;
  std::vector<DeviceSection> sections;
  std::string why;
  ASSERT_TRUE(ParseConfigFile("[MSR KvMsr]\nPort = COM4\nLrc = True\nCustomName = Reader\n", false, sections, why));
  ASSERT_TRUE(till.Apply(sections, {{"MSR_PORT", "COM12"}, {"TRACE_LEVEL", "2"}}, true).ok);
  for (MemoryStore* view : {&till.store, &till.other}) {
    EXPECT_EQ(view->Get(kMsr, "Port"), "COM12");
    EXPECT_EQ(view->Get(kMsr, "Lrc"), "True");
    EXPECT_EQ(view->GetDword(kCash2, "TraceLevel"), 2u);
    EXPECT_EQ(view->Get(kCash1, "CapStatus"), "True");
    EXPECT_EQ(view->Get(kOpos + "\\MSR", "Reader"), "KvMsr");
  }
  // An upgrade given nothing changes nothing; given a value, writes it.
  till.store.Set(kCash1, "CapStatus", "False");
  const int writes = till.store.Writes();
  ASSERT_TRUE(till.Apply({}, {}, false).ok);
  EXPECT_EQ(till.store.Writes(), writes);
  ASSERT_TRUE(till.Apply({}, {{"CASHDRAWER_CAPSTATUS", "True"}}, false).ok);
  EXPECT_EQ(till.store.Get(kCash1, "CapStatus"), "True");
  EXPECT_EQ(till.other.Get(kCash2, "CapStatus"), "True");
}

}  // namespace
}  // namespace opos
