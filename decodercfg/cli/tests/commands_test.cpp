// The commands against files and a serial line held in memory.
#include "cli/commands.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <sstream>

#include "cfgfile.h"

namespace q5r::cli {
namespace {

// A decoder that answers each write with the next scripted reply (none when
// the script is empty).
struct ScriptedLine : SerialLine {
  std::deque<std::vector<std::uint8_t>>* replies;
  std::vector<std::vector<std::uint8_t>>* written;
  std::vector<std::uint8_t> waiting;
  bool Write(std::span<const std::uint8_t> bytes) override {
    written->emplace_back(bytes.begin(), bytes.end());
    if (!replies->empty()) {
      waiting.insert(waiting.end(), replies->front().begin(), replies->front().end());
      replies->pop_front();
    }
    return true;
  }
  void ClearReceived() override { waiting.clear(); }
  std::vector<std::uint8_t> AwaitReceived(std::size_t threshold, int) override {
    if (waiting.empty() || waiting.size() < threshold) return {};
    return std::exchange(waiting, {});
  }
};

// Text written to a string, for the tests to read back.
struct StringOut : TextOut {
  std::string text;
  void Write(std::string_view more) override { text += more; }
  const std::string& str() const { return text; }
  void str(const std::string& with) { text = with; }
};

struct FakeEnvironment : Environment {
  StringOut out, err;
  std::map<std::string, std::string> files;
  int writes = 0;
  std::string openedPort;
  int openedNumber = -1;
  std::string openedSettings;
  bool portWorks = true;
  std::deque<std::vector<std::uint8_t>> replies;
  std::vector<std::vector<std::uint8_t>> written;

  TextOut& Out() override { return out; }
  TextOut& Err() override { return err; }
  bool terminal = false;
  bool ErrIsTerminal() override { return terminal; }
  std::optional<std::string> ReadFile(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
  bool WriteFileReplacing(const std::string& path, std::string_view data) override {
    ++writes;
    files[path] = std::string(data);
    return true;
  }
  std::unique_ptr<SerialLine> OpenPort(const std::string& port, int number, const std::string& settings) override {
    openedPort = port;
    openedNumber = number;
    openedSettings = settings;
    if (!portWorks) return nullptr;
    auto line = std::make_unique<ScriptedLine>();
    line->replies = &replies;
    line->written = &written;
    return line;
  }
};

int Cli(const std::vector<std::string>& args, Environment& env) { return Run(args, env); }

std::string NewFile(std::int16_t linkPort = 1) {
  FileInfo info;
  info.linkPort = linkPort;
  return FormatConfigFile(info, kDefaultImage);
}

ConfigImage ImageOf(const std::string& contents) {
  FileInfo info;
  ConfigImage image;
  EXPECT_EQ(ParseConfigFile(contents, info, image), ParseResult::kOk);
  return image;
}

TEST(Commands, UsageErrorsExitWithTwoAndHelpWithZero) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"show"}, {"show", "a", "b"}, {"show", "--port", "COM1", "a"},
                                             {"download", "a", "--baud", "12345"}, {"download", "a", "--format", "E,8,1"},
                                             {"upload"}, {"memory", "erase"}, {"defaults", "both", "a"}, {"help", "frobnicate"},
                                             {"download", "a", "--baud"}, {"show", "--json=1", "a"}}) {
    FakeEnvironment env;
    EXPECT_EQ(Cli(args, env), kExitUsage) << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(env.err.str().empty());
    EXPECT_EQ(env.writes, 0);
  }
  FakeEnvironment env;
  EXPECT_EQ(Cli({"download", "a", "--baud", "12345"}, env), kExitUsage);
  EXPECT_NE(env.err.str().find("one of 1200, 2400, 4800, 9600, 19200"), std::string::npos) << env.err.str();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"help"}, {"--help"}, {"help", "set"}, {"set", "--help"}, {"memory", "-h"}}) {
    FakeEnvironment ok;
    EXPECT_EQ(Cli(args, ok), kExitOk);
    EXPECT_NE(ok.out.str().find("Exit status"), std::string::npos);
  }
}

TEST(Commands, SetWritesOnlyWhenEveryAssignmentIsGood) {
  FakeEnvironment env;
  env.files["a.cfg"] = NewFile();
  EXPECT_EQ(Cli({"set", "a.cfg", "bar / Baud Rate=19200", "Parity=Odd"}, env), kExitUsage);
  EXPECT_NE(env.err.str().find("ambiguous"), std::string::npos);
  EXPECT_EQ(Cli({"set", "a.cfg", "bar / Baud Rate=19200", "bar / Parity=Weird"}, env), kExitUsage);
  EXPECT_NE(env.err.str().find("one of: Space, Mark, Even, Odd, None"), std::string::npos) << env.err.str();
  EXPECT_EQ(env.writes, 0);
  EXPECT_EQ(Cli({"set", "a.cfg", "bar / Baud Rate=19200", "mag / parity=odd"}, env), kExitOk);
  EXPECT_EQ(env.writes, 1);
  EXPECT_EQ(env.out.str(),
            "Bar_Decoder / Communication Parameters / RS232 / Baud Rate = 19200\n"
            "Magnic_Reader / Communication Parameters / RS232 / Parity = Odd\n");
  EXPECT_EQ(ImageOf(env.files["a.cfg"]).GetBits(16, 0x0C), 0x0C);

  env.files["b.cfg"] = "not a configuration";
  EXPECT_EQ(Cli({"set", "b.cfg", "bar / Baud Rate=2400"}, env), kExitFailed);
  EXPECT_NE(env.err.str().find("This File Is Not A Configuration Setup File"), std::string::npos);
  EXPECT_EQ(Cli({"show", "missing.cfg"}, env), kExitFailed);
  EXPECT_EQ(env.files["b.cfg"], "not a configuration");
}

TEST(Commands, DiffPrintsChangedOptionsAndHiddenBitsAndDefaultsResetsOneDevice) {
  FakeEnvironment env;
  env.files["a.cfg"] = NewFile();
  ConfigImage changed;
  changed.SetBits(16, 0x0C, 0x00);  // bar baud 2400
  changed.SetBits(28, 0x07, 0x04);  // mag baud 19200
  changed.SetBits(24, 0x80, 0x80);  // a bit no page shows
  env.files["b.cfg"] = FormatConfigFile(FileInfo{}, changed.Bytes());
  EXPECT_EQ(Cli({"diff", "a.cfg", "b.cfg"}, env), kDiffDifferent);
  EXPECT_EQ(env.out.str(),
            "- Bar_Decoder / Communication Parameters / RS232 / Baud Rate = 9600\n"
            "+ Bar_Decoder / Communication Parameters / RS232 / Baud Rate = 2400\n"
            "- Magnic_Reader / Communication Parameters / RS232 / Baud Rate = 9600\n"
            "+ Magnic_Reader / Communication Parameters / RS232 / Baud Rate = 19200\n"
            "- image byte 24 = 0x00\n+ image byte 24 = 0x80\n");

  EXPECT_EQ(Cli({"defaults", "mag", "b.cfg"}, env), kExitOk);
  const ConfigImage reset = ImageOf(env.files["b.cfg"]);
  EXPECT_EQ(reset.GetBits(16, 0x0C), 0x00) << "the bar-code decoder keeps its settings";
  EXPECT_EQ(reset.GetBits(28, 0x07), 0x07);
  EXPECT_EQ(Cli({"defaults", "bar", "new.cfg"}, env), kExitOk) << "a new file";
  EXPECT_EQ(ImageOf(env.files["new.cfg"]).Bytes(), kDefaultImage);
}

// diff's exit status is diff(1)'s, so a script can tell the three apart.
TEST(Commands, DiffExitsZeroWhenSameOneWhenDifferentTwoOnTrouble) {
  FakeEnvironment env;
  env.files["a.cfg"] = NewFile();
  env.files["same.cfg"] = NewFile();
  ConfigImage changed;
  changed.SetBits(24, 0x80, 0x80);
  env.files["b.cfg"] = FormatConfigFile(FileInfo{}, changed.Bytes());
  env.files["bad.cfg"] = "not a configuration";
  EXPECT_EQ(Cli({"diff", "a.cfg", "same.cfg"}, env), kDiffSame);
  EXPECT_EQ(env.out.str(), "");
  EXPECT_EQ(Cli({"diff", "a.cfg", "b.cfg"}, env), kDiffDifferent);
  EXPECT_EQ(Cli({"diff", "a.cfg", "missing.cfg"}, env), kDiffTrouble);
  EXPECT_EQ(Cli({"diff", "bad.cfg", "a.cfg"}, env), kDiffTrouble);
  EXPECT_EQ(Cli({"diff", "a.cfg"}, env), kDiffTrouble);
}

TEST(Commands, JsonEscapesQuotesControlsAndAnsiBytes) {
  FakeEnvironment env;
  FileInfo info;
  info.userName = "a \"b\" \\ \x01 \xE9";
  env.files["a.cfg"] = FormatConfigFile(info, kDefaultImage);
  EXPECT_EQ(Cli({"show", "a.cfg", "--json"}, env), kExitOk);
  EXPECT_NE(env.out.str().find(R"("value": "a \"b\" \\ \u0001 \u00e9"})"), std::string::npos) << env.out.str();
}

TEST(Commands, DownloadTellsTheOutcomeAsTheProgramDoes) {
  FakeEnvironment env;
  env.files["a.cfg"] = NewFile(2);
  env.replies = {{0x07}};
  EXPECT_EQ(Cli({"download", "a.cfg", "--no-save", "--baud=19200", "--format", "N,7,2"}, env), kExitOk);
  EXPECT_EQ(env.out.str(), "Download OK!\n");
  EXPECT_EQ(env.openedNumber, 2) << "the file's link port";
  EXPECT_EQ(env.openedSettings, "19200,N,7,2 ");
  ASSERT_EQ(env.written.size(), 1u);
  const DownloadFrame frame = BuildDownloadFrame(kDefaultImage, false);
  EXPECT_EQ(env.written[0], std::vector<std::uint8_t>(frame.begin(), frame.end()));
  env.replies = {{0x06}};
  EXPECT_EQ(Cli({"download", "a.cfg"}, env), kExitFailed);
  EXPECT_EQ(env.err.str(), "Download Failed!\n");
  env.err.str("");
  EXPECT_EQ(Cli({"download", "a.cfg", "--port", "COM1"}, env), kExitFailed);
  EXPECT_EQ(env.err.str(), "Time Out Error!\n");
  env.err.str("");
  env.portWorks = false;
  EXPECT_EQ(Cli({"download", "a.cfg"}, env), kExitFailed);
  EXPECT_EQ(env.err.str(), "COM 2: not available.\n");
  env.err.str("");
  EXPECT_EQ(Cli({"version", "--port", "/dev/ttyUSB7"}, env), kExitFailed);
  EXPECT_EQ(env.err.str(), "/dev/ttyUSB7: not available.\n");
  EXPECT_EQ(env.openedNumber, 0);
}

TEST(Commands, AProgressLineIsDrawnAndWipedOnlyOnATerminal) {
  FakeEnvironment env;
  env.files["a.cfg"] = NewFile();
  env.terminal = true;
  env.replies = {{0x06}};
  EXPECT_EQ(Cli({"download", "a.cfg"}, env), kExitFailed);
  const std::string progress = "Downloading to the decoder...";
  const std::string blank(progress.size(), ' ');
  EXPECT_EQ(env.err.str(), "\r" + progress + "\r" + blank + "\rDownload Failed!\n");
  EXPECT_EQ(env.out.str(), "");
}

std::vector<std::uint8_t> UploadReply(const std::vector<std::uint8_t>& section, std::string_view version) {
  std::vector<std::uint8_t> reply{static_cast<std::uint8_t>(section.size())};
  reply.insert(reply.end(), section.begin(), section.end());
  reply.insert(reply.end(), version.begin(), version.end());
  std::uint8_t check = 0;
  for (const std::uint8_t b : reply) check ^= b;
  reply.push_back(check);
  return reply;
}

TEST(Commands, UploadReplacesTheSectionOfTheBaseAndWritesNothingOnFailure) {
  FakeEnvironment env;
  ConfigImage base;
  base.SetByte(0, 0x11);
  FileInfo info;
  info.userName = "kept";
  env.files["base.cfg"] = FormatConfigFile(info, base.Bytes());
  std::vector<std::uint8_t> mag(60, 0x42);
  env.replies = {UploadReply(mag, "Q5R V2.10   2026-12-01")};
  EXPECT_EQ(Cli({"upload", "-o", "out.cfg", "--base", "base.cfg"}, env), kExitOk);
  const ConfigImage uploaded = ImageOf(env.files["out.cfg"]);
  EXPECT_EQ(uploaded.Byte(0), 0x11);
  EXPECT_EQ(uploaded.Byte(25), 0x42);
  EXPECT_NE(env.files["out.cfg"].find("kept"), std::string::npos);

  auto bad = UploadReply(std::vector<std::uint8_t>(60, 1), "Q5R V2.10   2026-12-01");
  bad.back() ^= 1;
  env.replies = {bad};
  const int writes = env.writes;
  EXPECT_EQ(Cli({"upload", "-o", "out2.cfg"}, env), kExitFailed);
  EXPECT_EQ(env.err.str().substr(env.err.str().rfind("Upload")), "Upload Failed!\n");
  EXPECT_EQ(env.writes, writes);

  env.replies = {UploadReply(std::vector<std::uint8_t>(70, 1), "Q5R V2.10   2026-12-01")};
  EXPECT_EQ(Cli({"version"}, env), kExitOk);
  EXPECT_EQ(env.out.str().substr(env.out.str().find("Q5R")), "Q5R V2.10\n2026-12-01\n");
}

}  // namespace
}  // namespace q5r::cli
