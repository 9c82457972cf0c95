#include "linereader.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "cardline.h"

namespace msr {
namespace {

// A serial port scripted read by read. A port that is gone answers nothing
// until it is opened again.
struct FakePort : ReaderPort {
  struct Step {
    ReadStatus status;
    std::string bytes;
    unsigned errors = 0;  // line errors seen during this read
    bool gone = false;    // the device goes away with this read
  };
  std::deque<Step> script;
  unsigned pending = 0;
  bool gone = false;
  int reopenFailures = 0;  // opens that fail before one succeeds
  std::vector<unsigned> pauses;
  std::vector<ReadWait> waits;
  int reopens = 0;

  ReadStatus Read(std::span<std::uint8_t> into, std::size_t& got, ReadWait wait) override {
    waits.push_back(wait);
    got = 0;
    if (gone) return ReadStatus::kFailed;
    if (script.empty()) return ReadStatus::kStopped;
    const Step step = script.front();
    script.pop_front();
    pending |= step.errors;
    gone = step.gone;
    got = step.bytes.copy(reinterpret_cast<char*>(into.data()), into.size());
    return step.status;
  }
  bool TakeLineErrors(unsigned& errors) override {
    errors = std::exchange(pending, 0u);
    return !gone;
  }
  bool Reopen() override {
    ++reopens;
    if (reopenFailures > 0) {
      --reopenFailures;
      return false;
    }
    gone = false;
    return true;
  }
  bool Pause(unsigned ms) override {
    pauses.push_back(ms);
    return !script.empty();
  }
};

struct Lines : LineSink {
  std::vector<std::string> got;  // "!" a failed line, "~" noise, "lost", "back"
  void Received(std::span<const std::uint8_t> bytes) override { got.emplace_back(bytes.begin(), bytes.end()); }
  void LineFailed(unsigned) override { got.emplace_back("!"); }
  void LineNoise(unsigned) override { got.emplace_back("~"); }
  void PortLost() override { got.emplace_back("lost"); }
  void PortBack() override { got.emplace_back("back"); }
};

using Script = std::deque<FakePort::Step>;
using Got = std::vector<std::string>;
constexpr ReadStatus kDone = ReadStatus::kDone;
constexpr ReadStatus kFailed = ReadStatus::kFailed;

Got ReadAll(FakePort& port) {
  Lines lines;
  RunReader(port, lines);
  return lines.got;
}

// A line is whole however the reads cut it: the first read waits for its
// first byte without a bound, the rest of the line is joined from the reads
// that follow, and the line ends at its CR.
TEST(LineReader, ALineIsJoinedFromTheReadsItArrivesIn) {
  FakePort port;
  port.script = Script{{kDone, ""}, {kDone, "%B41111"}, {kDone, "11111111111^DOE/J"}, {kDone, "OHN^3012?;4111\r"},
                       {kDone, ";5=6?\r"}};
  EXPECT_EQ(ReadAll(port), (Got{"%B4111111111111111^DOE/JOHN^3012?;4111\r", ";5=6?\r"}));
  EXPECT_EQ(port.waits, (std::vector<ReadWait>{ReadWait::kFirstByte, ReadWait::kFirstByte, ReadWait::kRestOfLine,
                                               ReadWait::kRestOfLine, ReadWait::kFirstByte, ReadWait::kFirstByte}));
  EXPECT_TRUE(port.pauses.empty());
}

// A line that never gets its CR ends when the line goes quiet; a line
// longer than the buffer gives its first part once and nothing of the rest;
// a burst of lines gives its first, and the rest is dropped to the end of
// the last line in it, even when that end comes in a later read.
TEST(LineReader, QuietLongAndBurstLines) {
  FakePort port;
  const std::string longLine(kReceiveBufferSize + 40, '7');
  port.script = Script{{kDone, ";4111=30"}, {kDone, ""},
                       {kDone, longLine.substr(0, 100)}, {kDone, longLine.substr(100, kReceiveBufferSize - 100)},
                       {kDone, longLine.substr(kReceiveBufferSize) + "\r"},
                       {kDone, ";1=2?\r;2=3?\r;3"}, {kDone, "=4?\r"},
                       {kDone, ";9=9?\r;8=8"}, {kDone, ""},
                       {kDone, ";7=7?\r"}};
  EXPECT_EQ(ReadAll(port), (Got{";4111=30", longLine.substr(0, kReceiveBufferSize), ";1=2?\r", ";9=9?\r", ";7=7?\r"}));
}

// A swipe damaged on the line is reported once and the rest of it dropped,
// and the next swipe reads. Errors with no card byte (noise, a break on an
// idle line) are not a swipe.
TEST(LineReader, LineErrorsFailTheirLineNoiseIsNoSwipe) {
  FakePort port;
  port.script = Script{{kDone, ";12\xff=4", kLineFraming}, {kDone, "?\r"},
                       {kDone, ";5678=9?\r"},
                       {kDone, "", kLineBreak},
                       {kDone, std::string("\0", 1), kLineFraming}, {kDone, ""},
                       {kDone, "%B1^X", kLineOverrun | kLineParity}, {kDone, ""},
                       {kDone, "%B2^Y?\r"}};
  EXPECT_EQ(ReadAll(port), (Got{"!", ";5678=9?\r", "~", "~", "!", "%B2^Y?\r"}));
  EXPECT_TRUE(port.pauses.empty());
}

// A port that refuses reads but still answers is retried after a pause,
// never in a tight loop, and reports nothing; told to stop during the
// pause, the loop ends at once.
TEST(LineReader, ARefusedReadIsRetriedAfterAPause) {
  FakePort port;
  port.script = Script{{kFailed, ""}, {kFailed, ""}, {kDone, ";1=2?\r"}};
  EXPECT_EQ(ReadAll(port), (Got{";1=2?\r"}));
  EXPECT_EQ(port.pauses, (std::vector<unsigned>{kRetryPauseMs, kRetryPauseMs}));
  FakePort failing;
  failing.script = Script{{kFailed, ""}};
  ReadAll(failing);
  EXPECT_EQ(failing.waits.size(), 1u);
}

// A port that went away (a USB adapter pulled out) is opened again by its
// name about once a second until it is back, with nothing else read
// meanwhile; the part of a line that came before the loss is dropped, and
// the next line after it reads.
TEST(LineReader, APortThatWentAwayIsOpenedAgainUntilItIsBack) {
  FakePort port;
  port.reopenFailures = 3;
  port.script = Script{{kDone, ";4111=3"}, {kFailed, "", 0, true}, {kDone, ";5=6?\r"}};
  EXPECT_EQ(ReadAll(port), (Got{"lost", "back", ";5=6?\r"}));
  EXPECT_EQ(port.reopens, 4);
  EXPECT_EQ(port.pauses, (std::vector<unsigned>{kFirstReopenPauseMs, kReopenPauseMs, kReopenPauseMs, kReopenPauseMs}));
  // Told to stop while the port is away: the loop ends at once.
  FakePort away;
  away.reopenFailures = 100;
  away.script = Script{{kFailed, "", 0, true}};
  EXPECT_EQ(ReadAll(away), (Got{"lost"}));
  EXPECT_EQ(away.reopens, 0);
}

}  // namespace
}  // namespace msr
