// KvSMsrSo's field trace under Wine: what a support technician finds in
// %ProgramData%\PosKit\Logs\KvMsr.log at each "TraceLevel", that no card
// data reaches it, its rotation, and that a trace that cannot be written
// changes nothing the application sees. Each test has a log folder of its
// own: the process's ProgramData points at a fresh temporary folder.
#include <windows.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "handle_win.h"
#include "msr_win.h"
#include "msrso_test_win.h"
#include "opos.h"
#include "registry_win.h"
#include "ptysimulator_win.h"
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
    WriteDeviceKey("COM" + std::to_string(kPort));
  }

  std::wstring LogPath(const wchar_t* name = L"KvMsr.log") const { return logs_.LogPath(name); }
  std::string Log(const wchar_t* name = L"KvMsr.log") const { return logs_.Read(name); }

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

  TempProgramData logs_;
  testbed::SerialCardReader reader_{kPort};
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
  EXPECT_EQ(GetFileAttributesW((logs_.Folder() + L"\\PosKit").c_str()), INVALID_FILE_ATTRIBUTES)
      << "no folder is made";
}

// A line that would take the file past 1 MiB goes to a new one, and the
// full one becomes KvMsr.1.log: never more than 2 MiB for the device.
TEST_F(MsrTraceTest, RotatesAtTheSizeLimit) {
  SetTraceLevel(1);
  ASSERT_EQ(CallLong(so_, L"OpenService", {Text(L"MSR"), Text(L"KvMsr"), Dispatch(&control_)}), 0);
  const std::size_t line = Log().size();
  ASSERT_GT(line, 0u);
  for (int i = 0; i < 2 * 1048576 / 60; ++i) CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxState)});
  const std::string previous = Log(L"KvMsr.1.log");
  const std::string current = Log();
  EXPECT_LE(previous.size(), 1048576u);
  EXPECT_GT(previous.size(), 1048576u - 200);
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
  HANDLE blocker = CreateFileW((logs_.Folder() + L"\\PosKit").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
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

namespace msrtest {
namespace {

// A log folder that is a link (a junction a standard user made before the
// kit was installed, say) is refused: nothing is written where it leads,
// and the application sees the same results and events as ever.
TEST_F(MsrTraceTest, ALogFolderThatIsALinkIsNotWritten) {
  const std::wstring elsewhere = logs_.Folder() + L"\\Elsewhere";
  ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((logs_.Folder() + L"\\PosKit").c_str(), nullptr));
  const std::wstring link = logs_.Folder() + L"\\PosKit\\Logs";
  ASSERT_TRUE(testbed::MakeLinuxSymlink(elsewhere, link));
  ASSERT_NE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u)
      << "Wine shows a link to a folder as a reparse point";
  SetTraceLevel(2);
  const std::vector<std::string> seen = Session(so_);
  EXPECT_EQ(seen[0], "open 0");
  EXPECT_EQ(control_.Count("SOData"), 1u);
  EXPECT_EQ(GetFileAttributesW((elsewhere + L"\\KvMsr.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Why an OpenService failed, for support, at level 1: the device key that
// could not be opened (traced at the level of the kit's own key, as there
// is no device key to ask), the event the control object does not know
// (with its answer), the port that could not be opened (the name it was
// opened by and the Windows error).
TEST_F(MsrTraceTest, AFailedOpenServiceSaysWhy) {
  {
    kit::UniqueKey kitKey;
    ASSERT_EQ(kit::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\PosKit", KEY_ALL_ACCESS, kitKey), ERROR_SUCCESS);
    ASSERT_EQ(kit::SetDword(kitKey.get(), "TraceLevel", 1), ERROR_SUCCESS);
  }
  EXPECT_EQ(CallLong(so_, L"OpenService", {Text(L"MSR"), Text(L"NoSuchReader"), Dispatch(&control_)}), 104);
  kit::UniqueKey kitKey;
  ASSERT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\PosKit", KEY_ALL_ACCESS, kitKey), ERROR_SUCCESS);
  kit::DeleteValue(kitKey.get(), "TraceLevel");
  EXPECT_TRUE(InOrder(Entries(Log(L"NoSuchReader.log")),
                      {"OpenService: the device key "
                       "\"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\OLEforRetail\\\\ServiceOPOS\\\\MSR\\\\NoSuchReader\" "
                       "could not be opened (error 2)",
                       "OpenService(\"MSR\", \"NoSuchReader\", IDispatch) -> 104"}))
      << Log(L"NoSuchReader.log");

  SetTraceLevel(1);
  testbed::ControlObject refusing("SOError");
  EXPECT_EQ(CallLong(so_, L"OpenService", {Text(L"MSR"), Text(L"KvMsr"), Dispatch(&refusing)}), 104);
  WriteDeviceKey("COM31");
  SetTraceLevel(1);
  EXPECT_EQ(CallLong(so_, L"OpenService", {Text(L"MSR"), Text(L"KvMsr"), Dispatch(&control_)}), 104);
  EXPECT_TRUE(InOrder(Entries(Log()),
                      {"OpenService: the control object does not know the event \"SOError\" (GetIDsOfNames "
                       "0x80020006)",
                       "OpenService(\"MSR\", \"KvMsr\", IDispatch) -> 104",
                       "OpenService: the port \"\\\\\\\\.\\\\COM31\" (\"Port\" is \"COM31\") could not be opened (error ",
                       "OpenService(\"MSR\", \"KvMsr\", IDispatch) -> 104"}))
      << Log();
}

// Two processes trace one device at once, past many rotations of its file
// (a small bound here). No file is ever above the bound, and no line is
// lost across a rotation: the lines of each process that the two files
// hold at the end run without a gap up to its last.
TEST(TraceFiles, TwoProcessesShareADevicesTraceAcrossRotations) {
  TempProgramData logs;
  constexpr std::size_t kBound = 16384;
  // About 80 bytes a line: the two writers' lines fill the file ten times.
  constexpr long kLines = 1000;
  const std::wstring startName = L"PosKitTraceTestStart" + std::to_wstring(GetCurrentProcessId());
  kit::UniqueHandle start(CreateEventW(nullptr, TRUE, FALSE, startName.c_str()));
  ASSERT_TRUE(start);
  std::vector<PROCESS_INFORMATION> writers;
  for (const wchar_t* tag : {L"A", L"B"}) {
    std::wstring command = L"\"" + ProgramFolder() + L"trace_writer.exe\" Shared " + std::to_wstring(kBound) + L" " +
                           tag + L" " + std::to_wstring(kLines) + L" " + startName;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    writers.push_back(pi);
  }
  // Both write at once; the files are looked at until both are done.
  SetEvent(start.get());
  const HANDLE running[] = {writers[0].hProcess, writers[1].hProcess};
  std::size_t largest = 0;
  const ULONGLONG until = GetTickCount64() + 60000;
  while (WaitForMultipleObjects(2, running, TRUE, 0) == WAIT_TIMEOUT && GetTickCount64() < until) {
    largest = std::max({largest, logs.Read(L"Shared.log").size(), logs.Read(L"Shared.1.log").size()});
    Sleep(2);
  }
  std::map<std::string, long> written;
  for (std::size_t i = 0; i < writers.size(); ++i) {
    EXPECT_EQ(WaitForSingleObject(writers[i].hProcess, 0), WAIT_OBJECT_0) << "a writer still runs after 60 s";
    DWORD lines = 0;
    GetExitCodeProcess(writers[i].hProcess, &lines);
    written[i == 0 ? "A" : "B"] = static_cast<long>(lines);
    if (lines != static_cast<DWORD>(kLines)) TerminateProcess(writers[i].hProcess, 1);
    CloseHandle(writers[i].hProcess);
    CloseHandle(writers[i].hThread);
  }
  EXPECT_EQ(written["A"], kLines);
  EXPECT_EQ(written["B"], kLines);
  const std::string previous = logs.Read(L"Shared.1.log"), current = logs.Read(L"Shared.log");
  largest = std::max({largest, previous.size(), current.size()});
  EXPECT_LE(largest, kBound);
  std::map<std::string, std::set<long>> seen;
  for (const std::string& entry : Entries(previous + current)) {
    const std::size_t space = entry.find(' ');
    seen[entry.substr(0, space)].insert(std::strtol(entry.c_str() + space + 1, nullptr, 10));
  }
  for (const char* tag : {"A", "B"}) {
    const std::set<long>& numbers = seen[tag];
    ASSERT_FALSE(numbers.empty()) << tag;
    EXPECT_EQ(*numbers.rbegin(), written[tag] - 1) << tag;
    EXPECT_EQ(static_cast<long>(numbers.size()), *numbers.rbegin() - *numbers.begin() + 1)
        << tag << ": lines missing between " << *numbers.begin() << " and " << *numbers.rbegin();
  }
}

}  // namespace
}  // namespace msrtest
