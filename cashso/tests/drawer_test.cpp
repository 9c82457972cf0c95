#include "drawer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cash {
namespace {

// A drawer bank on a fake clock: the hand may close the drawer at a set
// time; every write, sleep, beep and read is recorded with its time.
class FakeTill final : public DrawerPort, public Till {
 public:
  struct Step {
    std::string what;  // "write", "sleep", "beep", "read"
    unsigned long at;
    unsigned long a = 0, b = 0;
  };

  void WriteKick(std::uint8_t value) override { steps.push_back({"write", now, value}); }
  std::optional<std::uint8_t> ReadStatus() override {
    steps.push_back({"read", now});
    if (failReads) return std::nullopt;
    return closedAt && now >= *closedAt ? closedStatus : openStatus;
  }
  void Sleep(unsigned ms) override {
    steps.push_back({"sleep", now, ms});
    now += ms;
  }
  void Beep(unsigned long frequency, unsigned long durationMs) override {
    steps.push_back({"beep", now, frequency, durationMs});
    now += durationMs;  // Beep plays synchronously
  }
  std::vector<Step> Only(const std::string& what) const {
    std::vector<Step> out;
    for (const Step& s : steps) {
      if (s.what == what) out.push_back(s);
    }
    return out;
  }

  unsigned long now = 0;
  std::optional<unsigned long> closedAt;
  std::uint8_t openStatus = 0x00;
  std::uint8_t closedStatus = 0x03;
  bool failReads = false;
  std::vector<Step> steps;
};

TEST(DrawerTable, TheTwoDrawersDifferOnlyInTheirRow) {
  EXPECT_STREQ(kDrawers[0].module, "KvCash1So");
  EXPECT_STREQ(kDrawers[0].progId, "KvSO.KvCash1");
  EXPECT_STREQ(kDrawers[0].className, "CKvCash1");
  EXPECT_EQ(kDrawers[0].kickValue, 0x01);
  EXPECT_EQ(kDrawers[0].statusMask, 0x01);
  EXPECT_STREQ(kDrawers[1].module, "KvCash2So");
  EXPECT_STREQ(kDrawers[1].progId, "KvSO.KvCash2");
  EXPECT_STREQ(kDrawers[1].className, "CKvCash2");
  EXPECT_EQ(kDrawers[1].kickValue, 0x04);
  EXPECT_EQ(kDrawers[1].statusMask, 0x02);
}

TEST(DrawerTable, StringProperties) {
  for (const DrawerVariant& d : kDrawers) {
    EXPECT_STREQ(StringPropertyText(1000001, d), L"OK");
    EXPECT_STREQ(StringPropertyText(1000002, d), L"Marrowind Cash Drawer 1");  // drawer 2 too
    EXPECT_STREQ(StringPropertyText(1000003, d), d.deviceName);
    EXPECT_STREQ(StringPropertyText(1000004, d), L"Marrowind Customer Cash Drawer Service");
    for (long other : {0L, 1L, 1000000L, 1000005L, -1L}) EXPECT_STREQ(StringPropertyText(other, d), L"Empty");
  }
}

TEST(RegistryValues, OnlyAnExactFalseCounts) {
  EXPECT_TRUE(CapStatusFrom(std::nullopt));
  EXPECT_TRUE(CapStatusFrom(std::string("True")));
  EXPECT_TRUE(CapStatusFrom(std::string("false")));
  EXPECT_TRUE(CapStatusFrom(std::string("False ")));
  EXPECT_TRUE(CapStatusFrom(std::string("")));
  EXPECT_FALSE(CapStatusFrom(std::string("False")));
  EXPECT_FALSE(DirectModeFrom(std::nullopt));
  EXPECT_FALSE(DirectModeFrom(std::string("True")));
  EXPECT_FALSE(DirectModeFrom(std::string("FALSE")));
  EXPECT_TRUE(DirectModeFrom(std::string("False")));
}

TEST(StatusByte, EachDrawerLooksAtItsOwnBit) {
  // Drawer 2: 0x02 closed, 0x01 open; drawer 1 the other way round.
  EXPECT_EQ(DrawerOpenedFrom(0x02, kDrawers[1].statusMask), 0);
  EXPECT_EQ(DrawerOpenedFrom(0x01, kDrawers[1].statusMask), 1);
  EXPECT_EQ(DrawerOpenedFrom(0x01, kDrawers[0].statusMask), 0);
  EXPECT_EQ(DrawerOpenedFrom(0x02, kDrawers[0].statusMask), 1);
  EXPECT_EQ(DrawerOpenedFrom(0xFF, kDrawers[0].statusMask), 0);
  EXPECT_EQ(DrawerOpenedFrom(0x00, kDrawers[1].statusMask), 1);
}

TEST(StatusByte, AFailedReadCountsAsClosed) {
  FakeTill till;
  till.failReads = true;
  EXPECT_EQ(ReadDrawerOpened(till, 0x01), 0);
  till.failReads = false;
  EXPECT_EQ(ReadDrawerOpened(till, 0x01), 1);
}

TEST(KickPulse, DriverModeWritesKickThenZero300MsLater) {
  FakeTill till;
  KickPulse(till, till, 0x04);
  const auto writes = till.Only("write");
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].a, 0x04u);
  EXPECT_EQ(writes[1].a, 0x00u);
  EXPECT_EQ(writes[1].at - writes[0].at, 300u);
}

TEST(StatusReporter, FirstClosedPollReportsThenOnlyChanges) {
  StatusReporter r;
  EXPECT_TRUE(r.Changed(0x02));   // closed at the first poll: reported
  EXPECT_FALSE(r.Changed(0x02));
  EXPECT_TRUE(r.Changed(0x00));   // opened
  EXPECT_FALSE(r.Changed(0x00));
  EXPECT_TRUE(r.Changed(0x02));   // closed again
}

TEST(StatusReporter, AnOpenDrawerAtTheFirstPollReportsNothing) {
  StatusReporter r;
  EXPECT_FALSE(r.Changed(0x00));
  EXPECT_TRUE(r.Changed(0x01));
}

// Runs the wait against the fake till with drawer 1's mask.
unsigned Wait(FakeTill& till, const BeepSettings& beep) {
  return WaitForDrawerClose([&] { return ReadDrawerOpened(till, 0x01); }, till, beep);
}

TEST(WaitForDrawerClose, AClosedDrawerEndsAfterTheFirstTwoSeconds) {
  FakeTill till;
  till.closedAt = 0;
  EXPECT_EQ(Wait(till, {1000, 800, 200, 500}), 1u);
  EXPECT_EQ(till.now, 2000u);
  EXPECT_TRUE(till.Only("beep").empty());
}

TEST(WaitForDrawerClose, SilenceThenBeepsEvery700MsUntilClosed) {
  // (1000, 800, 200, 500) with the drawer closed by hand at 6.5 s: silence
  // for 2 s plus 1 s, then a 200 ms beep at 800 Hz every 700 ms.
  FakeTill till;
  till.closedAt = 6500;
  Wait(till, {1000, 800, 200, 500});
  const auto beeps = till.Only("beep");
  ASSERT_EQ(beeps.size(), 5u);
  for (std::size_t i = 0; i < beeps.size(); ++i) {
    EXPECT_EQ(beeps[i].at, 3000u + 700u * i);
    EXPECT_EQ(beeps[i].a, 800u);
    EXPECT_EQ(beeps[i].b, 200u);
  }
  // Seen closed within one step of the hand.
  EXPECT_GE(till.now, 6500u);
  EXPECT_LE(till.now, 6600u);
}

TEST(WaitForDrawerClose, EveryStepReadsTheStatusItself) {
  // The drawer closes during the silent part: the wait ends at the next
  // 100 ms step, whatever else keeps DrawerOpened.
  FakeTill till;
  till.closedAt = 2350;
  Wait(till, {60000, 800, 200, 500});
  EXPECT_EQ(till.now, 2400u);
  for (const auto& s : till.Only("sleep")) EXPECT_LE(s.a, 2000u);
  EXPECT_EQ(till.Only("read").size(), 5u);  // at 2000, 2100, 2200, 2300, 2400
}

TEST(WaitForDrawerClose, ClosingDuringABeepDelayEndsWithinAStep) {
  FakeTill till;
  till.closedAt = 3420;  // beep at 3000..3200, delay 3200..3700
  Wait(till, {1000, 800, 200, 500});
  EXPECT_EQ(till.Only("beep").size(), 1u);
  EXPECT_EQ(till.now, 3500u);
}

TEST(WaitForDrawerClose, NegativeAndZeroArgumentsNeitherHangNorUnderflow) {
  FakeTill till;
  till.closedAt = 2000 + 3 * 50;
  Wait(till, {-5, -800, -1, 50});
  const auto beeps = till.Only("beep");
  ASSERT_FALSE(beeps.empty());
  EXPECT_EQ(beeps[0].a, 0u);
  EXPECT_EQ(beeps[0].b, 0u);
  EXPECT_LE(till.now, 2200u);

  FakeTill zero;
  zero.closedAt = 2000;
  zero.steps.clear();
  EXPECT_EQ(Wait(zero, {0, 0, 0, 0}), 1u);
}

}  // namespace
}  // namespace cash
