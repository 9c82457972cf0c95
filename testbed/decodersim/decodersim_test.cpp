// The simulated decoder, started as a test would start it, answers the
// program's side of the protocol (q5rcore) over its pseudo-terminal, takes
// new behaviour from its control file and exits when the file goes.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/memoryrecords.h"
#include "link/protocol.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class DecoderSim : public ::testing::Test {
 protected:
  void SetUp() override {
    char dirTemplate[] = "/tmp/decodersim_test.XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir_ = dirTemplate;
    Control("");
    const std::vector<std::string> args = {DECODERSIM_PATH,
                                           "--pty-file=" + (dir_ / "pty").string(),
                                           "--log=" + (dir_ / "log").string(),
                                           "--control=" + (dir_ / "control").string(),
                                           "--timeout=60",
                                           "--record=first record",
                                           "--record=second"};
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    std::string path;
    for (auto until = Clock::now() + std::chrono::seconds(10); path.empty() && Clock::now() < until;) {
      std::ifstream(dir_ / "pty") >> path;
      if (path.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(path.empty()) << "the simulator did not publish its pseudo-terminal";
    port_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(port_, 0);
    termios tio;
    ASSERT_EQ(tcgetattr(port_, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(port_, TCSANOW, &tio), 0);
  }

  void TearDown() override {
    if (port_ >= 0) close(port_);
    fs::remove(dir_ / "control");
    int status = 0;
    bool exited = false;
    for (auto until = Clock::now() + std::chrono::seconds(5); !exited && Clock::now() < until;) {
      exited = waitpid(pid_, &status, WNOHANG) == pid_;
      if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!exited) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    EXPECT_TRUE(exited) << "the simulator outlived its control file";
    EXPECT_TRUE(exited && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(dir_ / "pty"));
    fs::remove_all(dir_);
  }

  void Control(const std::string& lines) {
    std::ofstream(dir_ / "control.new") << lines;
    fs::rename(dir_ / "control.new", dir_ / "control");
  }
  void Write(std::span<const std::uint8_t> bytes) {
    ASSERT_EQ(write(port_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Up to `count` bytes, whatever arrived within `ms`.
  Bytes Read(std::size_t count, int ms = 3000) {
    Bytes bytes;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      pollfd p{port_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
      std::uint8_t b[256];
      const ssize_t n = read(port_, b, std::min(sizeof b, count - bytes.size()));
      if (n <= 0) break;
      bytes.insert(bytes.end(), b, b + n);
    }
    return bytes;
  }
  std::string Log() const {
    std::ostringstream text;
    text << std::ifstream(dir_ / "log").rdbuf();
    return text.str();
  }
  std::optional<q5r::SerialUploadReply> Upload() {
    Write(q5r::kUploadRequest);
    Bytes reply = Read(1, 1500);
    if (reply.empty()) return std::nullopt;
    const Bytes rest = Read(reply[0] + 23u, 1500);  // the length the reply announces
    reply.insert(reply.end(), rest.begin(), rest.end());
    return q5r::ParseSerialUploadReply(reply);
  }
  // A whole memory read as the memory window runs it: the text and the
  // statuses of the blocks.
  std::vector<q5r::BlockStatus> ReadMemory(std::string& text) {
    std::vector<q5r::BlockStatus> statuses;
    q5r::MemoryAssembler assembler;
    Write(q5r::kReadMemoryRequest);
    for (int n = 0; n < q5r::kMaxMemoryBlocks; ++n) {
      const Bytes block = Read(q5r::kMemoryBlockSize, 1500);
      statuses.push_back(block.size() < q5r::kMemoryBlockSize ? q5r::BlockStatus::kNothing
                                                               : assembler.AddBlock(block, text));
      const std::uint8_t ack = static_cast<std::uint8_t>(q5r::BlockAcknowledgement(statuses.back()));
      Write(std::span(&ack, 1));
      if (statuses.back() != q5r::BlockStatus::kMore) break;
    }
    return statuses;
  }

  fs::path dir_;
  pid_t pid_ = 0;
  int port_ = -1;
};

using S = q5r::BlockStatus;

TEST_F(DecoderSim, DownloadReplacesTheImageThatUploadsReturn) {
  const auto factory = Upload();
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->data.section, q5r::ImageSection::kMagReader);
  EXPECT_TRUE(std::equal(factory->data.bytes.begin(), factory->data.bytes.end(), q5r::kDefaultImage.begin() + 25));
  EXPECT_EQ(factory->versionFirst + factory->versionSecond, "Q5R V2.10   2026-12-01");

  q5r::ImageBytes image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(200 - i);
  const q5r::DownloadFrame frame = q5r::BuildDownloadFrame(image, false);
  Write(frame);
  EXPECT_TRUE(q5r::IsDownloadAccepted(Read(1)));
  EXPECT_NE(Log().find("download " + [&] {
    std::string hex;
    for (const std::uint8_t b : frame) hex += q5r::HexPair(b);
    return hex;
  }() + " valid\n"), std::string::npos);

  // The bar-code section needs L of 61 or more to fill the program's 84.
  Control("upload-section=bar\nupload-length=64\n");
  const auto bar = Upload();
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->data.section, q5r::ImageSection::kBarDecoder);
  EXPECT_TRUE(std::equal(bar->data.bytes.begin(), bar->data.bytes.end(), image.begin()));

  q5r::DownloadFrame broken = frame;
  broken[40] ^= 1;
  Write(broken);
  EXPECT_EQ(Read(1), Bytes{0x15});
  EXPECT_NE(Log().find(" invalid\n"), std::string::npos);
}

TEST_F(DecoderSim, FaultsFollowTheControlFileFromOneRequestToTheNext) {
  Control("download-reply=06\n");
  Write(q5r::BuildDownloadFrame(q5r::kDefaultImage, true));
  EXPECT_EQ(Read(2, 500), Bytes{0x06});

  Control("download-reply=none\r\n");
  Write(q5r::BuildDownloadFrame(q5r::kDefaultImage, true));
  EXPECT_EQ(Read(1, 300), Bytes{});

  Control("upload-fault=badcheck\n");
  EXPECT_FALSE(Upload());
  Control("upload-fault=short\n");
  Write(q5r::kUploadRequest);
  EXPECT_EQ(Read(84, 400).size(), 83u);
  Control("upload-fault=silence\nnonsense\n");
  Write(q5r::kUploadRequest);
  EXPECT_EQ(Read(1, 300), Bytes{});
  EXPECT_NE(Log().find("bad-setting nonsense\n"), std::string::npos);

  // At 1200 baud the 84 bytes take at least 0.7 s.
  Control("baud=1200\n");
  const auto start = Clock::now();
  EXPECT_TRUE(Upload());
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(650));
}

TEST_F(DecoderSim, MemoryIsServedBlockByBlockAndCleared) {
  std::string text;
  EXPECT_EQ(ReadMemory(text), std::vector<S>{S::kEnd});
  EXPECT_EQ(text, "first record\r\nsecond\r\n");

  // Records spanning blocks, one with a broken check.
  Control("record=" + std::string(50, 'a') + "\nrecord=" + std::string(50, 'b') + "\nrecord=cc\nbad-record=2\n");
  text.clear();
  EXPECT_EQ(ReadMemory(text), (std::vector<S>{S::kMore, S::kEnd}));
  EXPECT_EQ(text, std::string(50, 'a') + "\r\n\r\ncc\r\n");
  const std::string log = Log();
  EXPECT_NE(log.find("read 02820383\nsent "), std::string::npos);
  EXPECT_NE(log.find("ack S\nsent "), std::string::npos);
  EXPECT_NE(log.find("ack P\n"), std::string::npos);

  Write(q5r::kClearMemoryRequest);
  EXPECT_EQ(q5r::ClearReplyStatus(Read(1)), S::kMore);
  text.clear();
  EXPECT_EQ(ReadMemory(text), std::vector<S>{S::kEnd});
  EXPECT_EQ(text, "\r\n") << "a clear empties the memory until the control file loads new records";

  Control("record=x1\nbad-block=1\n");
  EXPECT_EQ(ReadMemory(text), std::vector<S>{S::kBad});
  Control("record=x1\nsilent-block=1\n");
  EXPECT_EQ(ReadMemory(text), std::vector<S>{S::kNothing});
  EXPECT_NE(Log().find("ack E\n"), std::string::npos);
}

}  // namespace
