// KvSMsrSo's field trace under Wine: what a support technician finds in
// %ProgramData%\PosKit\Logs\KvMsr.log at each "TraceLevel", that no card
// data reaches it, its rotation, and that a trace that cannot be written
// changes nothing the application sees. Each test has a log folder of its
// own: the process's ProgramData points at a fresh temporary folder.
#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "handle_win.h"
#include "msr_win.h"
#include "msrso_test_win.h"
#include "opos.h"
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

constexpr int kPort = 5;
// A card whose every field is easy to find: account, name, expiry, service
// code, discretionary data.
const std::string kCard =
    "%B4000123456789010^QUIMBY/HORTENSE X.MS^4907201ZQXWVUT?;4000123456789010=49072019876543210?";
const char* const kSecrets[] = {"4000123456789010", "123456789", "QUIMBY", "HORTENSE", "4907", "ZQXW",
                                "9876543210", "201ZQ", "=4907"};

class MsrTraceTest : public MsrTest {
 protected:
  void SetUp() override {
    MsrTest::SetUp();
    ASSERT_TRUE(reader_.Ready()) << reader_.Error();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    programData_ = std::wstring(temp) + L"kit-trace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++counter_);
    CreateDirectoryW(programData_.c_str(), nullptr);
    SetEnvironmentVariableW(L"ProgramData", programData_.c_str());
    WriteDeviceKey("COM" + std::to_string(kPort));
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"ProgramData", nullptr);
    MsrTest::TearDown();
  }

  void SetTraceLevel(DWORD level) {
    kit::UniqueKey key;
    ASSERT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, kDeviceKey, KEY_SET_VALUE, key), ERROR_SUCCESS);
    ASSERT_EQ(kit::SetDword(key.get(), "TraceLevel", level), ERROR_SUCCESS);
  }
  std::wstring LogPath(const wchar_t* name = L"KvMsr.log") const {
    return programData_ + L"\\PosKit\\Logs\\" + name;
  }
  // The file as it is now, read beside the object's open handle.
  std::string Log(const wchar_t* name = L"KvMsr.log") const {
    kit::UniqueHandle file(CreateFileW(LogPath(name).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
  }

  // What an application does with a card: open, claim, enable, a swipe
  // (track 1 and 2, then an unreadable one), the card's strings, release,
  // close. Answers every result, property and event it saw.
  std::vector<std::string> Session(IDispatch* so) {
    std::vector<std::string> seen;
    const auto note = [&](const std::string& what, long value) { seen.push_back(what + " " + std::to_string(value)); };
    note("open", CallLong(so, L"OpenService", {Text(L"MSR"), Text(L"KvMsr"), Dispatch(&control_)}));
    note("claim", CallLong(so, L"Claim", {Long(1000)}));
    testbed::CallByName(so, L"SetPropertyNumber", {Long(opos::kPidxDeviceEnabled), Long(1)}, nullptr);
    testbed::CallByName(so, L"SetPropertyNumber", {Long(opos::kPidxDataEventEnabled), Long(1)}, nullptr);
    if (reader_.Swipe(kCard)) PumpUntil([&] { return control_.Count("SOData") >= 1; }, 15000);
    note("data events", static_cast<long>(control_.Count("SOData")));
    for (long i = 0; i < static_cast<long>(msr::kCardStringCount); ++i) {
      const std::wstring text = CallString(so, L"GetPropertyString", msr::kFirstCardStringIndex + i);
      seen.push_back("card " + std::to_string(i) + " " + std::string(text.begin(), text.end()));
    }
    testbed::CallByName(so, L"SetPropertyNumber", {Long(opos::kPidxDataEventEnabled), Long(1)}, nullptr);
    if (reader_.Swipe("+0123?")) PumpUntil([&] { return control_.Count("SOError") >= 1; }, 15000);
    note("error events", static_cast<long>(control_.Count("SOError")));
    note("state", CallLong(so, L"GetPropertyNumber", {Long(opos::kPidxState)}));
    note("release", CallLong(so, L"Release"));
    note("close", CallLong(so, L"Close"));
    return seen;
  }

  testbed::SerialCardReader reader_{kPort};
  std::wstring programData_;
  static inline int counter_ = 0;
};

// The entries of a trace, without each line's time, process and thread.
std::vector<std::string> Entries(const std::string& log) {
  static const std::regex head(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} pid \d+ tid \d+ (.*)\r$)");
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start < log.size()) {
    const std::size_t end = log.find('\n', start);
    const std::string line = log.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, head)) << line;
    entries.push_back(m.size() > 1 ? m[1].str() : line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return entries;
}

// The entries in `wanted` appear in this order (each as the start of an entry).
::testing::AssertionResult InOrder(const std::vector<std::string>& entries, const std::vector<std::string>& wanted) {
  std::size_t at = 0;
  for (const std::string& w : wanted) {
    while (at < entries.size() && entries[at].rfind(w, 0) != 0) ++at;
    if (at == entries.size()) return ::testing::AssertionFailure() << "no \"" << w << "\" in order";
    ++at;
  }
  return ::testing::AssertionSuccess();
}

TEST_F(MsrTraceTest, LevelOneShowsTheCallsWithResultsAndTheEvents) {
  SetTraceLevel(1);
  Session(so_);
  const std::vector<std::string> entries = Entries(Log());
  EXPECT_TRUE(InOrder(entries, {
                                   "OpenService(\"MSR\", \"KvMsr\", IDispatch) -> 0 [ResultCode 0, ResultCodeExtended 0]",
                                   "Claim(1000) -> 0 [ResultCode 0",
                                   "SetPropertyNumber(3, 1) [ResultCode 0",
                                   "SetPropertyNumber(2, 1)",
                                   "event SOData(1) -> 0x00000000",
                                   "GetPropertyString(1007001) -> \"400012******9010\"",
                                   "GetPropertyString(1007007) -> \"<6 characters>\"",
                                   "event SOError(111, 111, 2, &12)",
                                   "GetPropertyNumber(9) -> 4 [ResultCode 111, ResultCodeExtended 111]",
                                   "Release() -> 0",
                                   "Close() -> 0",
                               }));
  for (const std::string& e : entries) EXPECT_EQ(e.rfind("serial", 0), std::string::npos) << "wire at level 1: " << e;
}

// Level 2 adds the wire, masked; nothing of a card's data reaches the trace
// at any level, in any entry.
TEST_F(MsrTraceTest, LevelTwoAddsTheMaskedWireAndNoCardDataEverShows) {
  SetTraceLevel(2);
  Session(so_);
  const std::vector<std::string> entries = Entries(Log());
  EXPECT_TRUE(InOrder(entries, {"Claim(", "serial in 92 bytes: \"%*400012******9010^", "event SOData(1)",
                                "serial in 7 bytes: \"+****?\\x0D\"", "event SOError"}))
      << Log();
  for (const std::string& e : entries) {
    for (const char* secret : kSecrets) EXPECT_EQ(e.find(secret), std::string::npos) << secret << " in: " << e;
  }
}

TEST_F(MsrTraceTest, LevelZeroOrNoValueWritesNothing) {
  Session(so_);  // no value
  SetTraceLevel(0);
  IDispatch* second = Create();
  ASSERT_NE(second, nullptr);
  control_.Clear();
  Session(second);
  second->Release();
  EXPECT_EQ(GetFileAttributesW((programData_ + L"\\PosKit").c_str()), INVALID_FILE_ATTRIBUTES)
      << "no folder is made";
}

// At 1 MiB the file becomes KvMsr.1.log and a new one begins: never more
// than about 2 MiB for the device.
TEST_F(MsrTraceTest, RotatesAtTheSizeLimit) {
  SetTraceLevel(1);
  ASSERT_EQ(CallLong(so_, L"OpenService", {Text(L"MSR"), Text(L"KvMsr"), Dispatch(&control_)}), 0);
  const std::size_t line = Log().size();
  ASSERT_GT(line, 0u);
  for (int i = 0; i < 2 * 1048576 / 60; ++i) CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxState)});
  const std::string previous = Log(L"KvMsr.1.log");
  const std::string current = Log();
  EXPECT_GE(previous.size(), 1048576u);
  EXPECT_LT(previous.size(), 1048576u + 200);
  EXPECT_LT(current.size(), 1048576u);
  EXPECT_GT(current.size(), 0u);
  EXPECT_EQ(previous.back(), '\n');
  EXPECT_EQ(Entries(current).back(), "GetPropertyNumber(9) -> 2 [ResultCode 0, ResultCodeExtended 0]");
}

// A trace that cannot be written (here its folder cannot be made: a file
// stands where it would go) changes no result, no property and no event.
TEST_F(MsrTraceTest, AnUnwritableLogFolderChangesNothing) {
  const std::vector<std::string> untraced = Session(so_);
  const std::size_t dataEvents = control_.Count("SOData"), errorEvents = control_.Count("SOError");
  // "PosKit" is a file: no Logs folder under it.
  HANDLE blocker = CreateFileW((programData_ + L"\\PosKit").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
  ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
  CloseHandle(blocker);
  SetTraceLevel(2);
  IDispatch* second = Create();
  ASSERT_NE(second, nullptr);
  control_.Clear();
  EXPECT_EQ(Session(second), untraced);
  second->Release();
  EXPECT_EQ(control_.Count("SOData"), dataEvents);
  EXPECT_EQ(control_.Count("SOError"), errorEvents);
  EXPECT_EQ(GetFileAttributesW(LogPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace msrtest
