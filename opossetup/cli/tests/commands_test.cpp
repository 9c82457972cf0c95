#include "cli/commands.h"

#include <gtest/gtest.h>

#include <map>

#include "configfile.h"
#include "memorystore.h"

namespace opos::cli {
namespace {

const std::string kOpos = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
const std::string kDrawers = kOpos + "\\CashDrawer";
const std::string kMsrs = kOpos + "\\MSR";
const std::string kMsr = kMsrs + "\\KvMsr";
const std::string kCash1 = kDrawers + "\\KvCash1";

struct StringOut : kit::TextOut {
  std::string text;
  void Write(std::string_view more) override { text += more; }
};

struct FakeChecker : DeviceChecker {
  std::vector<CheckRequest> asked;
  CheckOptions options;
  std::map<DeviceId, CheckReport> answers;
  std::vector<CheckReport> Check(const std::vector<CheckRequest>& devices, const CheckOptions& o) override {
    asked = devices;
    options = o;
    std::vector<CheckReport> reports;
    for (const CheckRequest& r : devices) {
      CheckReport report = answers.count(r.id) ? answers[r.id] : CheckReport{};
      report.id = r.id;
      report.progId = r.progId;
      if (!answers.count(r.id)) {
        report.state = CheckState::kHealthy;
        report.steps = {{"OpenService", 0}, {"Claim", 0}, {"CheckHealth", 0}};
      }
      reports.push_back(report);
    }
    return reports;
  }
};

// A till: the kit's four device keys in both registry views, another
// vendor's drawer and its custom name beside them.
struct FakeTill : Environment {
  MemoryStore own, other;
  StringOut out, err;
  std::map<std::string, std::string> files;
  FakeChecker checker;

  FakeTill() {
    for (MemoryStore* view : {&own, &other}) {
      for (const DeviceInfo& device : kDevices) {
        view->Set(DevicePath(device), "", device.progId);
        view->AddKey(ClassPath(device));
      }
      view->Set(kDrawers + "\\AcmeDrawer", "", "Acme.Drawer");
      view->Set(kDrawers, "Back Office", "AcmeDrawer");
      view->Set(kMsr, "Type", "Serial");
    }
  }
  kit::TextOut& Out() override { return out; }
  kit::TextOut& Err() override { return err; }
  KeyStore& Store() override { return own; }
  KeyStore* OtherStore() override { return &other; }
  std::string ViewName() override { return "64-bit"; }
  std::string OtherViewName() override { return "32-bit"; }
  std::optional<std::string> ReadFile(const std::string& path) override {
    const auto it = files.find(path);
    return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  bool WriteFileReplacing(const std::string& path, std::string_view data) override {
    files[path] = std::string(data);
    return true;
  }
  DeviceChecker& Checker() override { return checker; }

  int Run(std::vector<std::string> args) {
    out.text.clear();
    err.text.clear();
    return cli::Run(args, *this);
  }
};

TEST(Kvoposcfg, SetChecksEveryValueFirstAndWritesBothViews) {
  FakeTill till;
  EXPECT_EQ(till.Run({"set", "msr", "kvmsr", "Port=COM12", "lrc=True", "TraceLevel=2"}), kExitOk) << till.err.text;
  for (MemoryStore* view : {&till.own, &till.other}) {
    EXPECT_EQ(view->Get(kMsr, "Port"), "COM12");
    EXPECT_EQ(view->Get(kMsr, "Lrc"), "True");
    EXPECT_EQ(view->GetDword(kMsr, "TraceLevel"), 2u);
  }
  // One bad value, or an unknown name: nothing is written, and why is said.
  const int writes = till.own.Writes();
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"set", "MSR", "KvMsr", "Port=COM3", "Lrc=true"},
        {"set", "MSR", "KvMsr", "Port=LPT1"},
        {"set", "MSR", "KvMsr", "TraceLevel=7"},
        {"set", "MSR", "KvMsr", "CapStatus=True"},
        {"set", "CashDrawer", "KvCash1", "Port=COM2"},
        {"set", "MSR", "KvMsr", "Port"},
        {"set", "Scanner", "KvScan", "Port=COM1"}}) {
    EXPECT_EQ(till.Run(bad), kExitUsage) << bad[3];
    EXPECT_NE(till.err.text.find("kvoposcfg: "), std::string::npos);
  }
  EXPECT_EQ(till.own.Writes(), writes);
  EXPECT_NE((till.Run({"set", "MSR", "KvMsr", "Port=LPT1"}), till.err.text.find("COM1, COM2")), std::string::npos);
  // A keyboard-wedge reader's one port, as the dialog offers it.
  till.own.Set(kMsr, "Type", "Wedge");
  EXPECT_EQ(till.Run({"set", "MSR", "KvMsr", "Port=COM4"}), kExitUsage);
  EXPECT_EQ(till.Run({"set", "MSR", "KvMsr", "Port=Kbd Msr Selected"}), kExitOk);
}

// Without administrator rights the registry refuses the write: said plainly.
TEST(Kvoposcfg, ARefusedWriteSaysItNeedsAnAdministrator) {
  FakeTill till;
  till.own.DenyWrite(kCash1);
  till.other.DenyWrite(kCash1);
  EXPECT_EQ(till.Run({"set", "CashDrawer", "KvCash1", "CapStatus=False"}), kExitFailed);
  EXPECT_NE(till.err.text.find("needs administrator rights"), std::string::npos) << till.err.text;
  EXPECT_EQ(till.own.Get(kCash1, "CapStatus"), std::nullopt);
}

TEST(Kvoposcfg, AliasesFollowTheDialogsRules) {
  FakeTill till;
  EXPECT_EQ(till.Run({"alias", "add", "CashDrawer", "KvCash1", "Front Till"}), kExitOk) << till.err.text;
  EXPECT_EQ(till.own.Get(kDrawers, "Front Till"), "KvCash1");
  EXPECT_EQ(till.other.Get(kDrawers, "Front Till"), "KvCash1");
  // Another vendor's name, in any letter case: refused, theirs untouched.
  EXPECT_EQ(till.Run({"alias", "add", "CashDrawer", "KvCash2", "BACK OFFICE"}), kExitFailed);
  EXPECT_NE(till.err.text.find("already used by \"AcmeDrawer\""), std::string::npos) << till.err.text;
  EXPECT_EQ(till.own.Get(kDrawers, "Back Office"), "AcmeDrawer");
  EXPECT_EQ(till.Run({"alias", "add", "CashDrawer", "KvCash2", "A name far longer than twenty"}), kExitUsage);
  // Remove: only this device's own name.
  EXPECT_EQ(till.Run({"alias", "remove", "CashDrawer", "KvCash1", "Back Office"}), kExitFailed);
  EXPECT_EQ(till.own.Get(kDrawers, "Back Office"), "AcmeDrawer");
  EXPECT_EQ(till.Run({"alias", "remove", "CashDrawer", "KvCash1", "front till"}), kExitOk);
  EXPECT_EQ(till.own.Get(kDrawers, "Front Till"), std::nullopt);
  EXPECT_EQ(till.other.Get(kDrawers, "Front Till"), std::nullopt);
}

TEST(Kvoposcfg, ListShowsBothViewsAndMarksWhereTheyDiffer) {
  FakeTill till;
  till.own.Set(kMsr, "Port", "COM12");
  till.other.Set(kMsr, "Port", "COM3");
  till.own.Set(kMsrs, "Card Reader", "KvMsr");
  till.other.Set(kMsrs, "Card Reader", "KvMsr");
  ASSERT_EQ(till.Run({"list"}), kExitOk);
  const std::string& text = till.out.text;
  EXPECT_NE(text.find("MSR KvMsr\n  status      registered (KvSo.KvMsr)\n* Port        COM12   (32-bit view: COM3)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  CustomName  Card Reader\n"), std::string::npos) << text;
  EXPECT_NE(text.find("* differs between the 64-bit and the 32-bit registry views"), std::string::npos);
  till.own.Set(kDrawers + "\\KvCash2", "", "KvSO.KvCash2");  // another letter case: not the kit's
  ASSERT_EQ(till.Run({"list", "--json"}), kExitOk);
  EXPECT_NE(till.out.text.find("\"64-bit\": {\"registered\": false, \"progId\": \"KvSO.KvCash2\""), std::string::npos)
      << till.out.text;
  EXPECT_NE(till.out.text.find("\"values\": {\"Port\": \"COM3\", \"Type\": \"Serial\"}"), std::string::npos);
}

// A template exported from one till and imported on another gives the same
// listing; a file with any wrong line writes nothing and names the line.
TEST(Kvoposcfg, ExportThenImportGivesTheSameListing) {
  FakeTill shop;
  ASSERT_EQ(shop.Run({"set", "MSR", "KvMsr", "Port=COM12", "Lrc=True", "TraceLevel=1"}), kExitOk);
  ASSERT_EQ(shop.Run({"set", "CashDrawer", "KvCash2", "CapStatus=False"}), kExitOk);
  ASSERT_EQ(shop.Run({"alias", "add", "CashDrawer", "KvCash1", "Kasse 1"}), kExitOk);
  ASSERT_EQ(shop.Run({"export", "shop.cfg"}), kExitOk);
  ASSERT_EQ(shop.Run({"list"}), kExitOk);
  const std::string listing = shop.out.text;

  FakeTill till;
  till.files["shop.cfg"] = shop.files["shop.cfg"];
  ASSERT_EQ(till.Run({"import", "shop.cfg", "--dry-run"}), kExitOk) << till.err.text;
  EXPECT_NE(till.out.text.find("MSR KvMsr: Port = COM12"), std::string::npos);
  EXPECT_EQ(till.own.Writes(), 0);
  ASSERT_EQ(till.Run({"import", "shop.cfg"}), kExitOk) << till.err.text;
  ASSERT_EQ(till.Run({"list"}), kExitOk);
  EXPECT_EQ(till.out.text, listing);

  FakeTill clean;
  clean.files["bad.cfg"] = shop.files["shop.cfg"] + "\n[LineDisplay KvDisplay]\nPort = LPT1\n";
  EXPECT_EQ(clean.Run({"import", "bad.cfg"}), kExitFailed);
  EXPECT_NE(clean.err.text.find("line "), std::string::npos) << clean.err.text;
  EXPECT_NE(clean.err.text.find("nothing was written"), std::string::npos);
  clean.files["taken.cfg"] = "[CashDrawer KvCash2]\nCapStatus = True\nCustomName = back office\n";
  EXPECT_EQ(clean.Run({"import", "taken.cfg"}), kExitFailed);
  EXPECT_NE(clean.err.text.find("taken.cfg: line 3: "), std::string::npos) << clean.err.text;
  EXPECT_EQ(clean.own.Writes(), 0);
}

// The report of each device, its exit status by the worst, and a line
// display whose service object is not installed is no failure.
TEST(Kvoposcfg, CheckReportsEveryDeviceAndExitsByTheWorst) {
  FakeTill till;
  till.checker.answers[DeviceId::kLineDisplay].state = CheckState::kNotInstalled;
  EXPECT_EQ(till.Run({"check"}), kExitOk) << till.out.text;
  EXPECT_EQ(till.checker.asked.size(), 4u);
  EXPECT_NE(till.out.text.find("OK      MSR KvMsr [KvSo.KvMsr]: OpenService 0, Claim 0, CheckHealth 0"),
            std::string::npos)
      << till.out.text;
  EXPECT_NE(till.out.text.find("ABSENT  LineDisplay KvDisplay [KvSo.KvDisplay]: not installed"), std::string::npos);

  CheckReport& msr = till.checker.answers[DeviceId::kMsr];
  msr.state = CheckState::kFailed;
  msr.steps = {{"OpenService", 104}};
  msr.failure = "OpenService answered 104";
  EXPECT_EQ(till.Run({"check", "kvmsr", "--json", "--swipe", "5", "--timeout", "3"}), kExitFailed);
  EXPECT_EQ(till.checker.asked.size(), 1u);
  EXPECT_EQ(till.checker.options.swipeSeconds, 5);
  EXPECT_EQ(till.checker.options.timeoutSeconds, 3);
  EXPECT_NE(till.out.text.find("\"class\": \"MSR\", \"name\": \"KvMsr\", \"progId\": \"KvSo.KvMsr\", \"view\": "
                               "\"64-bit\", \"state\": \"failed\", \"steps\": [{\"step\": \"OpenService\", "
                               "\"result\": 104}]"),
            std::string::npos)
      << till.out.text;
  EXPECT_NE(till.out.text.find("\"healthy\": false"), std::string::npos);
  EXPECT_EQ(till.Run({"check", "--timeout", "0"}), kExitUsage);
  EXPECT_EQ(till.Run({"check", "KvScanner"}), kExitUsage);
  // No device key at all: a failure of its own, never a call.
  till.own.RemoveKey(kCash1);
  EXPECT_EQ(till.Run({"check", "KvCash1"}), kExitFailed);
  EXPECT_TRUE(till.checker.asked.empty() || till.checker.asked[0].id != DeviceId::kCashDrawer1);
}

TEST(Kvoposcfg, UsageAndHelp) {
  FakeTill till;
  EXPECT_EQ(till.Run({}), kExitUsage);
  EXPECT_EQ(till.Run({"frobnicate"}), kExitUsage);
  EXPECT_EQ(till.Run({"list", "--swipe", "3"}), kExitUsage);
  for (const char* command : {"list", "set", "alias", "export", "import", "check"}) {
    EXPECT_EQ(till.Run({command, "--help"}), kExitOk) << command;
    EXPECT_EQ(till.out.text.rfind(std::string("usage: kvoposcfg ") + command, 0), 0u) << till.out.text;
    EXPECT_EQ(till.Run({"help", command}), kExitOk);
  }
}

TEST(ConfigFile, ParsesWhatAPersonWritesAndNamesTheWrongLine) {
  std::vector<DeviceSection> sections;
  std::string why;
  ASSERT_TRUE(ParseConfigFile("\xEF\xBB\xBF# a template\r\n\r\n[msr kvmsr]\r\n  port = COM9 \r\nCustomName = Kort\xC3\xA6se\r\n"
                              "; comment\n[CashDrawer KvCash1]\nTraceLevel=0\nCustomName =\n",
                              false, sections, why))
      << why;
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].id, DeviceId::kMsr);
  ASSERT_EQ(sections[0].settings.size(), 1u);
  EXPECT_EQ(sections[0].settings[0].name, "Port");
  EXPECT_EQ(sections[0].settings[0].value, "COM9");
  EXPECT_EQ(sections[0].customName, "Kort\xC3\xA6se");
  EXPECT_EQ(sections[1].customName, "");
  EXPECT_EQ(FormatConfigFile(sections).find("[MSR KvMsr]\nPort = COM9\nCustomName = Kort\xC3\xA6se\n") !=
                std::string::npos,
            true);
  for (const auto& [text, line] : std::vector<std::pair<std::string, std::string>>{
           {"Port = COM1\n", "line 1: "},
           {"[MSR KvMsr]\nPort COM1\n", "line 2: "},
           {"[MSR KvMsr]\nLrc = yes\n", "line 2: "},
           {"[MSR KvMsr]\nLrc = True\nLrc = False\n", "line 3: "},
           {"[MSR KvMsr]\n\n[msr KVMSR]\n", "line 3: "},
           {"[Printer KvPtr]\n", "line 1: "},
           {"[MSR KvMsr\n", "line 1: "},
           {"[MSR KvMsr]\nCustomName = \xff\n", "line 2: "},
           {"[MSR KvMsr]\nCapStatus = True\n", "line 2: "}}) {
    EXPECT_FALSE(ParseConfigFile(text, false, sections, why)) << text;
    EXPECT_EQ(why.rfind(line, 0), 0u) << text << " -> " << why;
    EXPECT_TRUE(sections.empty());
  }
}

}  // namespace
}  // namespace opos::cli
