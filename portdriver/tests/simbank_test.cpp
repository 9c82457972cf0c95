// The simulated register bank of the test build, and the checks compiled
// for that build (which recognise its extra requests).
#include "simbank.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "requestcheck.h"
#include "tillport_sim_ioctl.h"

namespace {

struct Bank {
  Bank() : bank(std::make_unique<TillportSimBank>()) { TillportSimInit(bank.get()); }
  std::uint8_t Status() const { return static_cast<std::uint8_t>(TillportSimRead(bank.get(), 0x201, 1)); }
  void Write(std::uint8_t kick, std::uint32_t ms) { TillportSimWrite(bank.get(), 0x200, 1, kick, ms); }
  std::uint32_t Control(std::uint32_t code, std::vector<std::uint8_t>& buffer, std::uint32_t in,
                        std::uint32_t out, std::uint32_t* information) {
    return TillportSimControl(bank.get(), code, buffer.empty() ? nullptr : buffer.data(), in, out,
                              information);
  }
  std::unique_ptr<TillportSimBank> bank;
};

std::uint32_t Load32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

TEST(SimBank, BothDrawersStartClosed) {
  Bank b;
  EXPECT_EQ(b.Status(), 0x03);
  EXPECT_EQ(TillportSimRead(b.bank.get(), 0x200, 1), 0u);
  EXPECT_EQ(TillportSimRead(b.bank.get(), 0x300, 1), 0xFFu);
  EXPECT_EQ(TillportSimRead(b.bank.get(), 0x200, 2), 0x0300u);
  EXPECT_EQ(TillportSimRead(b.bank.get(), 0x200, 4), 0xFFFF0300u);
}

TEST(SimBank, APulseOfTheKickBitOpensOnlyThatDrawer) {
  Bank b;
  b.Write(0x00, 1);
  b.Write(0x01, 2);
  EXPECT_EQ(b.Status(), 0x03) << "still closed while the bit is high";
  b.Write(0x00, 302);
  EXPECT_EQ(b.Status(), 0x02) << "drawer 1 open, drawer 2 closed";
  b.Write(0x04, 400);
  b.Write(0x00, 700);
  EXPECT_EQ(b.Status(), 0x00);
}

TEST(SimBank, OtherBitsAndPortsOpenNothing) {
  Bank b;
  for (std::uint8_t v : {0x02, 0x00, 0x08, 0x00, 0xF0, 0x00}) b.Write(v, 0);
  TillportSimWrite(b.bank.get(), 0x201, 1, 0x00, 0);
  TillportSimWrite(b.bank.get(), 0x202, 1, 0x05, 0);
  TillportSimWrite(b.bank.get(), 0x202, 1, 0x00, 0);
  EXPECT_EQ(b.Status(), 0x03);
  // A word write reaches the kick register through its low byte.
  TillportSimWrite(b.bank.get(), 0x200, 2, 0xFF05, 0);
  TillportSimWrite(b.bank.get(), 0x200, 2, 0x0000, 0);
  EXPECT_EQ(b.Status(), 0x00);
}

TEST(SimBank, TheHandAtTheTillClosesAndOpensDrawers) {
  Bank b;
  std::vector<std::uint8_t> buffer(8);
  std::uint32_t info = 99;
  auto set = [&](std::uint32_t drawer, std::uint32_t closed) {
    std::memcpy(buffer.data(), &drawer, 4);
    std::memcpy(buffer.data() + 4, &closed, 4);
    return b.Control(IOCTL_TILLPORTSIM_SET_DRAWER, buffer, 8, 0, &info);
  };
  EXPECT_EQ(set(2, 0), TILLPORT_STATUS_SUCCESS);
  EXPECT_EQ(info, 0u);
  EXPECT_EQ(b.Status(), 0x01);
  EXPECT_EQ(set(1, 0), TILLPORT_STATUS_SUCCESS);
  EXPECT_EQ(b.Status(), 0x00);
  EXPECT_EQ(set(2, 1), TILLPORT_STATUS_SUCCESS);
  EXPECT_EQ(b.Status(), 0x02);
  EXPECT_EQ(set(3, 1), TILLPORT_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(set(0, 1), TILLPORT_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(set(1, 2), TILLPORT_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(b.Control(IOCTL_TILLPORTSIM_SET_DRAWER, buffer, 7, 0, &info),
            TILLPORT_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(b.Status(), 0x02);
}

TEST(SimBank, TheLogKeepsEveryWriteWithItsTime) {
  Bank b;
  b.Write(0x04, 1000);
  b.Write(0x00, 1300);
  TillportSimWrite(b.bank.get(), 0x200, 4, 0xCAFEF00D, 1400);
  std::vector<std::uint8_t> out(8 + 16 * 4, 0xEE);
  std::uint32_t info = 0;
  ASSERT_EQ(b.Control(IOCTL_TILLPORTSIM_READ_LOG, out, 0, static_cast<std::uint32_t>(out.size()), &info),
            TILLPORT_STATUS_SUCCESS);
  EXPECT_EQ(info, 8u + 3 * 16);
  EXPECT_EQ(Load32(&out[0]), 3u);
  EXPECT_EQ(Load32(&out[4]), 3u);
  const std::uint32_t expected[3][4] = {
      {1000, 0x200, 1, 0x04}, {1300, 0x200, 1, 0x00}, {1400, 0x200, 4, 0xCAFEF00D}};
  for (int i = 0; i < 3; ++i) {
    for (int f = 0; f < 4; ++f) EXPECT_EQ(Load32(&out[8 + 16 * i + 4 * f]), expected[i][f]) << i << "," << f;
  }
  EXPECT_EQ(out[8 + 16 * 3], 0xEE) << "nothing past the entries";

  // A buffer with room for one entry gets the first one and the total.
  ASSERT_EQ(b.Control(IOCTL_TILLPORTSIM_READ_LOG, out, 0, 8 + 16 + 15, &info), TILLPORT_STATUS_SUCCESS);
  EXPECT_EQ(info, 24u);
  EXPECT_EQ(Load32(&out[0]), 3u);
  EXPECT_EQ(Load32(&out[4]), 1u);
  EXPECT_EQ(b.Control(IOCTL_TILLPORTSIM_READ_LOG, out, 0, 7, &info), TILLPORT_STATUS_INVALID_PARAMETER);
  EXPECT_EQ(info, 0u);

  std::vector<std::uint8_t> none;
  EXPECT_EQ(b.Control(IOCTL_TILLPORTSIM_CLEAR_LOG, none, 0, 0, &info), TILLPORT_STATUS_SUCCESS);
  ASSERT_EQ(b.Control(IOCTL_TILLPORTSIM_READ_LOG, out, 0, 8, &info), TILLPORT_STATUS_SUCCESS);
  EXPECT_EQ(Load32(&out[0]), 0u);
  EXPECT_EQ(Load32(&out[4]), 0u);
}

TEST(SimBank, AFullLogStillCountsWrites) {
  Bank b;
  for (std::uint32_t i = 0; i < TILLPORTSIM_LOG_CAPACITY + 10; ++i) b.Write(0, i);
  std::vector<std::uint8_t> out(8);
  std::uint32_t info = 0;
  ASSERT_EQ(b.Control(IOCTL_TILLPORTSIM_READ_LOG, out, 0, 8, &info), TILLPORT_STATUS_SUCCESS);
  EXPECT_EQ(Load32(&out[0]), TILLPORTSIM_LOG_CAPACITY + 10);
}

TEST(SimBuildChecks, RecogniseTheTestRequestsAndStillRefuseOtherCodes) {
  const TillportRange range = {0x200, 2, 1};
  TillportRequest request;
  for (std::uint32_t code : {IOCTL_TILLPORTSIM_SET_DRAWER, IOCTL_TILLPORTSIM_READ_LOG,
                             IOCTL_TILLPORTSIM_CLEAR_LOG}) {
    TillportCheckRequest(code, nullptr, 0, 0, &range, &request);
    EXPECT_EQ(request.Operation, TillportOperationSimulated);
    EXPECT_EQ(request.Status, TILLPORT_STATUS_SUCCESS);
  }
  TillportCheckRequest(TILLPORT_CTL_CODE(0xA03, 0), nullptr, 0, 0, &range, &request);
  EXPECT_EQ(request.Status, TILLPORT_STATUS_NOT_IMPLEMENTED);
  const std::uint8_t in[4] = {2, 0, 0, 0};
  TillportCheckRequest(IOCTL_READ_PORT_UCHAR, in, 4, 1, &range, &request);
  EXPECT_EQ(request.Status, TILLPORT_STATUS_ACCESS_VIOLATION);
}

}  // namespace
