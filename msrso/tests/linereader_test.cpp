#include "linereader.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace msr {
namespace {

// A serial port scripted read by read. A port that aborts reads after a
// line error (as Windows does with fAbortOnError set) fails every read
// until its errors are taken.
struct FakePort : ReaderPort {
  struct Step {
    ReadStatus status;
    std::string bytes;
    unsigned errors = 0;  // line errors seen during this read
  };
  std::deque<Step> script;
  unsigned pending = 0;
  bool abortsOnError = false;
  std::vector<unsigned> pauses;
  int reads = 0;

  ReadStatus Read(std::span<std::uint8_t> into, std::size_t& got) override {
    ++reads;
    got = 0;
    if (abortsOnError && pending) return ReadStatus::kFailed;
    if (script.empty()) return ReadStatus::kStopped;
    const Step step = script.front();
    script.pop_front();
    pending |= step.errors;
    if (abortsOnError && step.errors) return ReadStatus::kFailed;
    got = step.bytes.copy(reinterpret_cast<char*>(into.data()), into.size());
    return step.status;
  }
  unsigned TakeLineErrors() override { return std::exchange(pending, 0u); }
  bool Pause(unsigned ms) override {
    pauses.push_back(ms);
    return !script.empty();
  }
};

struct Lines : LineSink {
  std::vector<std::string> got;  // "!" marks a failed line
  void Received(std::span<const std::uint8_t> bytes) override { got.emplace_back(bytes.begin(), bytes.end()); }
  void LineFailed(unsigned) override { got.emplace_back("!"); }
};

TEST(LineReader, ReadsWithBytesBecomeLinesEmptyReadsNothing) {
  FakePort port;
  port.script = {{ReadStatus::kDone, ""}, {ReadStatus::kDone, ";123=4?\r"}, {ReadStatus::kDone, ""}};
  Lines lines;
  RunReader(port, lines);
  EXPECT_EQ(lines.got, (std::vector<std::string>{";123=4?\r"}));
  EXPECT_TRUE(port.pauses.empty());
}

// A swipe damaged on the line is reported once, and the next swipe reads,
// whether the port keeps delivering bytes or refuses reads until its errors
// are cleared.
TEST(LineReader, ALineErrorIsOneFailedLineAndTheNextCardReads) {
  for (bool aborts : {false, true}) {
    FakePort port;
    port.abortsOnError = aborts;
    port.script = {{ReadStatus::kDone, ";12\xff=4?\r", kLineFraming},
                   {ReadStatus::kDone, ";5678=9?\r"},
                   {ReadStatus::kDone, "", kLineOverrun | kLineParity},
                   {ReadStatus::kDone, "%B1^X?\r"}};
    Lines lines;
    RunReader(port, lines);
    EXPECT_EQ(lines.got, (std::vector<std::string>{"!", ";5678=9?\r", "!", "%B1^X?\r"})) << aborts;
    EXPECT_TRUE(port.pauses.empty()) << aborts;
  }
}

// A port that refuses reads with no line error (a device that went away)
// is retried after a pause, never in a tight loop, and reports nothing.
TEST(LineReader, AFailingPortIsRetriedAfterAPauseUntilStopped) {
  FakePort port;
  port.script = {{ReadStatus::kFailed, ""}, {ReadStatus::kFailed, ""}, {ReadStatus::kDone, ";1=2?"}};
  Lines lines;
  RunReader(port, lines);
  EXPECT_EQ(lines.got, (std::vector<std::string>{";1=2?"}));
  EXPECT_EQ(port.pauses, (std::vector<unsigned>{kRetryPauseMs, kRetryPauseMs}));
  // Told to stop during the pause: the loop ends at once.
  FakePort failing;
  failing.script = {{ReadStatus::kFailed, ""}};
  RunReader(failing, lines);
  EXPECT_EQ(failing.reads, 1);
}

}  // namespace
}  // namespace msr
