// The Linux q5rcfg, run as a user runs it, against the simulated decoder on
// a pseudo-terminal: every transfer, every fault the simulator injects, the
// exit status and message of each, and files left alone on failure.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cfgfile.h"
#include "link/protocol.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string ReadText(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

class CliOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    char dirTemplate[] = "/tmp/q5rcfg_sim_test.XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir_ = dirTemplate;
    Control("");
    const std::vector<std::string> args = {DECODERSIM_PATH,
                                           "--pty-file=" + (dir_ / "pty").string(),
                                           "--log=" + (dir_ / "log").string(),
                                           "--control=" + (dir_ / "control").string(),
                                           "--timeout=120",
                                           "--record=4006381333931",
                                           "--record=second record"};
    ASSERT_EQ(Spawn(args, nullptr, &sim_), 0);
    for (auto until = Clock::now() + std::chrono::seconds(10); pty_.empty() && Clock::now() < until;) {
      std::ifstream(dir_ / "pty") >> pty_;
      if (pty_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(pty_.empty()) << "the simulator did not publish its pseudo-terminal";
  }

  void TearDown() override {
    fs::remove(dir_ / "control");  // the simulator exits
    int status = 0;
    bool exited = false;
    for (auto until = Clock::now() + std::chrono::seconds(5); !exited && Clock::now() < until;) {
      exited = waitpid(sim_, &status, WNOHANG) == sim_;
      if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!exited) {
      kill(sim_, SIGKILL);
      waitpid(sim_, &status, 0);
    }
    fs::remove_all(dir_);
  }

  static int Spawn(const std::vector<std::string>& args, posix_spawn_file_actions_t* actions, pid_t* pid) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return posix_spawn(pid, argv[0], actions, nullptr, argv.data(), environ);
  }

  void Control(const std::string& lines) {
    std::ofstream(dir_ / "control.new") << lines;
    fs::rename(dir_ / "control.new", dir_ / "control");
  }

  // q5rcfg with the arguments, on the simulator's port unless one is given;
  // its standard output into `stdoutPath` when one is given.
  Result Cli(std::vector<std::string> args, bool withPort = true, const char* stdoutPath = nullptr) {
    args.insert(args.begin(), Q5RCFG_PATH);
    if (withPort) args.insert(args.end(), {"--port", pty_});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = stdoutPath ? stdoutPath : (dir_ / "stdout").string(), err = (dir_ / "stderr").string();
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    Result r;
    if (Spawn(args, &actions, &pid) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (!stdoutPath) r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
  }

  std::vector<std::string> LogLines(const std::string& kind) const {
    std::vector<std::string> lines;
    std::istringstream log(ReadText(dir_ / "log"));
    for (std::string line; std::getline(log, line);) {
      if (line.rfind(kind, 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  fs::path File(const char* name) const { return dir_ / name; }

  // A configuration file with the given image, and its bytes.
  std::string WriteConfig(const char* name, const q5r::ConfigImage& image) {
    const std::string contents = q5r::FormatConfigFile(q5r::FileInfo{}, image.Bytes());
    std::ofstream(File(name), std::ios::binary) << contents;
    return contents;
  }

  // Nothing but the files the test made: no temporary file left behind.
  void ExpectOnlyFiles(std::initializer_list<const char*> names) {
    std::set<std::string> expected = {"pty", "log", "control", "stdout", "stderr"};
    for (const char* n : names) expected.insert(n);
    for (const auto& entry : fs::directory_iterator(dir_)) {
      EXPECT_TRUE(expected.count(entry.path().filename().string())) << entry.path();
    }
  }

  fs::path dir_;
  std::string pty_;
  pid_t sim_ = 0;
};

q5r::ConfigImage Changed() {
  q5r::ConfigImage image;
  image.SetBits(16, 0xF0, 0x50);  // German keyboard
  image.SetByte(30, 'X');
  return image;
}

// Results that cannot be written (a full disk) are a failure: trouble (2)
// for diff, whose 1 means "different", 1 for any other command.
TEST_F(CliOnPty, ResultsThatCannotBeWrittenAreAFailure) {
  WriteConfig("a.cfg", q5r::ConfigImage{});
  WriteConfig("b.cfg", Changed());
  const std::string a = File("a.cfg").string(), b = File("b.cfg").string();
  EXPECT_EQ(Cli({"diff", a, b}, false, "/dev/full").status, 2);
  EXPECT_EQ(Cli({"diff", a, a}, false, "/dev/full").status, 0) << "nothing to write";
  EXPECT_EQ(Cli({"show", a}, false, "/dev/full").status, 1);
  EXPECT_EQ(Cli({"diff", a, b}, false).status, 1);
}

TEST_F(CliOnPty, DownloadSendsTheFileWithOrWithoutSaveAndTheDecoderKeepsIt) {
  const std::string contents = WriteConfig("a.cfg", Changed());
  Result r = Cli({"download", File("a.cfg").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Download OK!\n");
  const q5r::DownloadFrame frame = q5r::BuildDownloadFrame(Changed().Bytes(), true);
  std::string hex;
  for (const std::uint8_t b : frame) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", b);
    hex += pair;
  }
  ASSERT_EQ(LogLines("download").size(), 1u);
  EXPECT_EQ(LogLines("download")[0], "download " + hex + " valid");

  r = Cli({"download", File("a.cfg").string(), "--no-save"});
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(LogLines("download").size(), 2u);
  EXPECT_EQ(LogLines("download")[1].substr(9, 6), "020254");

  // What the decoder now holds comes back with an upload.
  r = Cli({"upload", "-o", File("back.cfg").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  q5r::FileInfo info;
  q5r::ConfigImage back;
  ASSERT_EQ(q5r::ParseConfigFile(ReadText(File("back.cfg")), info, back), q5r::ParseResult::kOk);
  for (std::size_t i = q5r::kMagFirst; i <= q5r::kMagLast; ++i) EXPECT_EQ(back.Byte(i), Changed().Byte(i)) << i;
  EXPECT_EQ(ReadText(File("a.cfg")), contents);
  ExpectOnlyFiles({"a.cfg", "back.cfg"});
}

TEST_F(CliOnPty, UploadTakesEitherSectionIntoTheBase) {
  q5r::ConfigImage base;
  base.SetByte(0, 'Z');
  base.SetByte(84, '!');
  WriteConfig("base.cfg", base);
  Control("upload-section=mag\n");
  Result r = Cli({"upload", "-o", File("mag.cfg").string(), "--base", File("base.cfg").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Upload OK!\n");
  EXPECT_NE(r.err.find("magnetic reader section"), std::string::npos);
  q5r::FileInfo info;
  q5r::ConfigImage got;
  ASSERT_EQ(q5r::ParseConfigFile(ReadText(File("mag.cfg")), info, got), q5r::ParseResult::kOk);
  EXPECT_EQ(got.Byte(0), 'Z') << "the bar-code section stays the base's";
  EXPECT_EQ(got.Byte(84), q5r::kDefaultImage[84]) << "the decoder's magnetic section";

  Control("upload-section=bar\nupload-length=61\n");
  r = Cli({"upload", "-o", File("bar.cfg").string(), "--base", File("base.cfg").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("bar-code decoder section"), std::string::npos);
  ASSERT_EQ(q5r::ParseConfigFile(ReadText(File("bar.cfg")), info, got), q5r::ParseResult::kOk);
  EXPECT_EQ(got.Byte(0), q5r::kDefaultImage[0]);
  EXPECT_EQ(got.Byte(84), '!');
}

TEST_F(CliOnPty, VersionAndMemoryReadAndClear) {
  Control("version=Q5R V9.99   2031-01-02\n");
  Result r = Cli({"version"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Q5R V9.99\n2031-01-02\n");

  r = Cli({"memory", "read"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "4006381333931\nsecond record\n");
  r = Cli({"memory", "read", "-o", File("mem.txt").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadText(File("mem.txt")), "4006381333931\r\nsecond record\r\n\r\n");
  EXPECT_EQ(r.err, "Read Decoder Memory OK!\n");

  r = Cli({"memory", "clear"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Clear Decoder Memory OK!\n");
  r = Cli({"memory", "read"});
  EXPECT_EQ(r.status, 0) << r.err;
  // An empty memory is one record of length 0: an empty line, as the
  // memory window shows it.
  EXPECT_EQ(r.out, "\n") << "the memory is empty now";
}

// Each fault: its message on stderr, exit status 1, nothing on stdout, and
// the files as they were.
TEST_F(CliOnPty, EveryInjectedFaultGivesTheProgramsMessageAndLeavesTheFiles) {
  const std::string contents = WriteConfig("a.cfg", Changed());
  std::ofstream(File("mem.txt")) << "old memory\r\n";
  struct Case {
    const char* settings;
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"download-reply=06\n", {"download", File("a.cfg").string()}, "Download Failed!\n"},
      {"download-reply=none\n", {"download", File("a.cfg").string()}, "Time Out Error!\n"},
      {"upload-fault=badcheck\n", {"upload", "-o", File("a.cfg").string()}, "Upload Failed!\n"},
      {"upload-fault=short\n", {"upload", "-o", File("a.cfg").string()}, "Time Out Error!\n"},
      {"upload-fault=silence\n", {"version"}, "Time Out Error!\n"},
      {"upload-section=bar\n", {"upload", "-o", File("a.cfg").string()}, "Time Out Error!\n"},  // 49 bytes
      {"bad-block=1\n", {"memory", "read", "-o", File("mem.txt").string()}, "Read Decoder Memory Failed!\n"},
      {"silent-block=1\n", {"memory", "read", "-o", File("mem.txt").string()}, "Time Out Error!\n"},
      {"clear-reply=15\n", {"memory", "clear"}, "Clear Decoder Memory Failed!\n"},
      {"clear-reply=none\n", {"memory", "clear"}, "Time Out Error!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    Control(c.settings);
    const Result r = Cli(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadText(File("a.cfg")), contents);
    EXPECT_EQ(ReadText(File("mem.txt")), "old memory\r\n");
  }
  Control("");
  Result r = Cli({"download", File("a.cfg").string(), "--port", "COM99"}, false);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "COM 99: not available.\n");
  r = Cli({"version", "--port", (dir_ / "no-such-port").string()}, false);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, (dir_ / "no-such-port").string() + ": not available.\n");
  const std::size_t downloads = LogLines("download").size();
  r = Cli({"download", File("a.cfg").string(), "--baud", "38400"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(LogLines("download").size(), downloads) << "nothing was sent";
  ExpectOnlyFiles({"a.cfg", "mem.txt"});
}

}  // namespace
