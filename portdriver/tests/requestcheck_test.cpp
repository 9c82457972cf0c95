// The request and range checks of the shipping driver, for every control
// code: buffer sizes, range ends, alignment, which access is used, and the
// configured range refused at load.
#include "requestcheck.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "tillport_ioctl.h"

namespace {

constexpr std::uint32_t kSuccess = TILLPORT_STATUS_SUCCESS;
constexpr std::uint32_t kNotImplemented = TILLPORT_STATUS_NOT_IMPLEMENTED;
constexpr std::uint32_t kAccessViolation = TILLPORT_STATUS_ACCESS_VIOLATION;
constexpr std::uint32_t kInvalidParameter = TILLPORT_STATUS_INVALID_PARAMETER;

// The defaults: ports 0x200 and 0x201 in I/O space.
constexpr TillportRange kDefaultRange = {0x200, 2, 1};

std::vector<std::uint8_t> Input(std::uint32_t port, std::uint32_t value = 0,
                                std::size_t length = 8) {
  std::vector<std::uint8_t> bytes(length > 8 ? length : 8, 0xEE);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(port >> (8 * i));
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
  bytes.resize(length);
  return bytes;
}

TillportRequest Check(std::uint32_t code, const std::vector<std::uint8_t>& input,
                      std::uint32_t outputLength, const TillportRange& range = kDefaultRange) {
  TillportRequest request;
  std::memset(&request, 0x5A, sizeof(request));
  TillportCheckRequest(code, input.empty() ? nullptr : input.data(),
                       static_cast<std::uint32_t>(input.size()), outputLength, &range, &request);
  return request;
}

TEST(ControlCodeTable, CodesAreTheDocumentedValuesAndComposeFromTheirParts) {
  const std::uint32_t expected[TILLPORT_CONTROL_CODE_COUNT] = {
      0x9C406400, 0x9C406404, 0x9C406408, 0x9C40A440, 0x9C40A444, 0x9C40A448};
  for (int i = 0; i < TILLPORT_CONTROL_CODE_COUNT; ++i) {
    const TillportControlCodeInfo& info = TillportControlCodes[i];
    SCOPED_TRACE(info.Name);
    EXPECT_EQ(info.Code, expected[i]);
    EXPECT_EQ(info.Code, (40000u << 16) | (info.Access << 14) | (info.Function << 2));
    EXPECT_EQ(info.Access, info.IsWrite ? TILLPORT_FILE_WRITE_ACCESS : TILLPORT_FILE_READ_ACCESS);
    EXPECT_EQ(info.DataSize, 1u << (i % 3));
  }
  EXPECT_EQ(sizeof(TillportReadInput), 4u);
  EXPECT_EQ(sizeof(TillportWriteInput), 8u);
}

TEST(ReadRequest, NeedsFourInputBytesAndTheDataSizeOfOutput) {
  for (const TillportControlCodeInfo& info : TillportControlCodes) {
    if (info.IsWrite) continue;
    SCOPED_TRACE(info.Name);
    EXPECT_EQ(Check(info.Code, Input(0, 0, 3), 4).Status, kInvalidParameter);
    EXPECT_EQ(Check(info.Code, {}, 4).Status, kInvalidParameter);
    EXPECT_EQ(Check(info.Code, Input(0, 0, 4), info.DataSize - 1).Status, kInvalidParameter);
    const TillportRange wide = {0x200, 8, 1};
    const TillportRequest ok = Check(info.Code, Input(0, 0, 4), info.DataSize, wide);
    EXPECT_EQ(ok.Status, kSuccess);
    EXPECT_EQ(ok.Operation, TillportOperationRead);
    EXPECT_EQ(ok.Size, info.DataSize);
    // More input or output than needed is fine.
    EXPECT_EQ(Check(info.Code, Input(0, 0, 64), 16, wide).Status, kSuccess);
  }
}

TEST(WriteRequest, NeedsFourPlusDataSizeInputBytesAndNoOutput) {
  for (const TillportControlCodeInfo& info : TillportControlCodes) {
    if (!info.IsWrite) continue;
    SCOPED_TRACE(info.Name);
    const TillportRange wide = {0x200, 8, 1};
    EXPECT_EQ(Check(info.Code, Input(0, 0, 4 + info.DataSize - 1), 0, wide).Status,
              kInvalidParameter);
    const TillportRequest ok =
        Check(info.Code, Input(0, 0x87654321, 4 + info.DataSize), 0, wide);
    EXPECT_EQ(ok.Status, kSuccess);
    EXPECT_EQ(ok.Operation, TillportOperationWrite);
    const std::uint32_t mask = info.DataSize == 4 ? 0xFFFFFFFFu : (1u << (8 * info.DataSize)) - 1;
    EXPECT_EQ(ok.Value, 0x87654321u & mask);
  }
}

TEST(EdgeCases, TheDefaultRangeOfTwoBytePorts) {
  // Byte access at 0 and 1, not at 2.
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(0, 0, 4), 1).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(1, 0, 4), 1).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(2, 0, 4), 1).Status, kAccessViolation);
  EXPECT_EQ(Check(IOCTL_WRITE_PORT_UCHAR, Input(2, 0, 5), 0).Status, kAccessViolation);
  // A word at 1 runs past the end (and is misaligned); at 0 it fits.
  EXPECT_EQ(Check(IOCTL_READ_PORT_USHORT, Input(1, 0, 4), 2).Status, kAccessViolation);
  const TillportRequest word = Check(IOCTL_READ_PORT_USHORT, Input(0, 0, 4), 2);
  EXPECT_EQ(word.Status, kSuccess);
  EXPECT_EQ(word.Size, 2u);
  EXPECT_EQ(word.Address, 0x200u);
  // A double word does not fit into two ports at all.
  EXPECT_EQ(Check(IOCTL_READ_PORT_ULONG, Input(0, 0, 4), 4).Status, kAccessViolation);
  // A byte write needs 5 input bytes.
  EXPECT_EQ(Check(IOCTL_WRITE_PORT_UCHAR, Input(0, 1, 4), 0).Status, kInvalidParameter);
  EXPECT_EQ(Check(IOCTL_WRITE_PORT_UCHAR, Input(0, 1, 5), 0).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_WRITE_PORT_UCHAR, Input(0, 1, 8), 0).Status, kSuccess);
}

TEST(EdgeCases, SizesAreCheckedBeforeTheRange) {
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(99, 0, 3), 1).Status, kInvalidParameter);
  EXPECT_EQ(Check(IOCTL_WRITE_PORT_ULONG, Input(99, 0, 7), 0).Status, kInvalidParameter);
}

TEST(Range, PortNumbersNearTwoToTheThirtyTwoDoNotWrapRound) {
  const TillportRange huge = {0x0, 0xFFFFFFFCu, 1};
  for (const TillportControlCodeInfo& info : TillportControlCodes) {
    SCOPED_TRACE(info.Name);
    const std::uint32_t in = info.IsWrite ? 8 : 4;
    const std::uint32_t last = 0xFFFFFFFCu - info.DataSize;  // the last access that fits
    EXPECT_EQ(Check(info.Code, Input(last, 0, in), 4, huge).Status, kSuccess);
    EXPECT_EQ(Check(info.Code, Input(last + 1, 0, in), 4, huge).Status, kAccessViolation);
    EXPECT_EQ(Check(info.Code, Input(0xFFFFFFFFu, 0, in), 4, huge).Status, kAccessViolation);
    // p + n wraps to a small number in 32 bits; the range is still refused.
    const TillportRange all = {0x0, 0xFFFFFFFFu, 1};
    EXPECT_EQ(Check(info.Code, Input(0xFFFFFFFFu, 0, in), 4, all).Status, kAccessViolation);
    EXPECT_EQ(Check(info.Code, Input(0xFFFFFFFCu, 0, in), 4, all).Status,
              info.DataSize == 4 ? kAccessViolation : kSuccess);
  }
}

TEST(Range, TheLastPortsOfAConfiguredRange) {
  const TillportRange range = {0xFFF0, 0x10, 1};
  EXPECT_EQ(Check(IOCTL_READ_PORT_ULONG, Input(0xC, 0, 4), 4, range).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_READ_PORT_ULONG, Input(0xD, 0, 4), 4, range).Status, kAccessViolation);
  EXPECT_EQ(Check(IOCTL_READ_PORT_USHORT, Input(0xE, 0, 4), 2, range).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(0xF, 0, 4), 1, range).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(0x10, 0, 4), 1, range).Status, kAccessViolation);
  const TillportRequest last = Check(IOCTL_WRITE_PORT_UCHAR, Input(0xF, 0xAB, 5), 0, range);
  EXPECT_EQ(last.Address, 0xFFFFu);
  EXPECT_EQ(last.PortNumber, 0xFu);
  EXPECT_EQ(last.Value, 0xABu);
}

TEST(Range, ZeroPortsRefuseEveryRequest) {
  const TillportRange empty = {0x200, 0, 1};
  for (const TillportControlCodeInfo& info : TillportControlCodes) {
    SCOPED_TRACE(info.Name);
    EXPECT_EQ(Check(info.Code, Input(0, 0, 8), 4, empty).Status, kAccessViolation);
  }
}

TEST(Alignment, IsThatOfTheAddressNotOfThePortNumber) {
  // A range starting at an odd port: offset 1 is the aligned word.
  const TillportRange odd = {0x201, 8, 1};
  EXPECT_EQ(Check(IOCTL_READ_PORT_USHORT, Input(0, 0, 4), 2, odd).Status, kAccessViolation);
  EXPECT_EQ(Check(IOCTL_READ_PORT_USHORT, Input(1, 0, 4), 2, odd).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_READ_PORT_ULONG, Input(3, 0, 4), 4, odd).Status, kSuccess);
  EXPECT_EQ(Check(IOCTL_WRITE_PORT_ULONG, Input(1, 0, 8), 0, odd).Status, kAccessViolation);
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(0, 0, 4), 1, odd).Status, kSuccess);
}

TEST(Access, PortInstructionsForIoSpaceRegistersForMemorySpace) {
  const TillportRange io = {0x200, 2, 1};
  const TillportRange memory = {0xFFFF800000001000ull, 2, 0};
  EXPECT_EQ(Check(IOCTL_READ_PORT_UCHAR, Input(1, 0, 4), 1, io).UsePorts, 1u);
  const TillportRequest mapped = Check(IOCTL_WRITE_PORT_USHORT, Input(0, 0x1234, 6), 0, memory);
  EXPECT_EQ(mapped.Status, kSuccess);
  EXPECT_EQ(mapped.UsePorts, 0u);
  EXPECT_EQ(mapped.Address, 0xFFFF800000001000ull);
  EXPECT_EQ(mapped.Value, 0x1234u);
}

TEST(UnknownCodes, AreNotImplemented) {
  // Neighbours of the real codes, other access bits, other methods, and the
  // codes of the simulated-hardware test build, which this build lacks.
  const std::uint32_t codes[] = {0,          0x9C406000, 0x9C40640C, 0x9C406401, 0x9C402400,
                                 0x9C40E440, 0x9C406440, 0x9C40A400, 0x00226400,
                                 (40000u << 16) | (2u << 14) | (0xA00u << 2),
                                 (40000u << 16) | (1u << 14) | (0xA01u << 2),
                                 (40000u << 16) | (2u << 14) | (0xA02u << 2), 0xFFFFFFFF};
  for (std::uint32_t code : codes) {
    SCOPED_TRACE(code);
    const TillportRequest request = Check(code, Input(0, 0, 8), 16);
    EXPECT_EQ(request.Status, kNotImplemented);
    EXPECT_EQ(request.Operation, TillportOperationNone);
  }
}

TEST(ConfiguredRange, PastPortFFFFIsRefused) {
  EXPECT_EQ(TillportCheckConfiguredRange(0x200, 2), kSuccess);
  EXPECT_EQ(TillportCheckConfiguredRange(0x200, 0), kSuccess);
  EXPECT_EQ(TillportCheckConfiguredRange(0xFFFF, 1), kSuccess);
  EXPECT_EQ(TillportCheckConfiguredRange(0xFFFF, 0), kSuccess);
  EXPECT_EQ(TillportCheckConfiguredRange(0, 0x10000), kSuccess);
  EXPECT_EQ(TillportCheckConfiguredRange(0xFFFF, 2), kInvalidParameter);
  EXPECT_EQ(TillportCheckConfiguredRange(0xFFF0, 0x11), kInvalidParameter);
  EXPECT_EQ(TillportCheckConfiguredRange(0, 0x10001), kInvalidParameter);
  EXPECT_EQ(TillportCheckConfiguredRange(0x10000, 0), kInvalidParameter);
  // Sums that would wrap round in 32 bits.
  EXPECT_EQ(TillportCheckConfiguredRange(0x200, 0xFFFFFE00u), kInvalidParameter);
  EXPECT_EQ(TillportCheckConfiguredRange(0x200, 0xFFFFFFFFu), kInvalidParameter);
  EXPECT_EQ(TillportCheckConfiguredRange(0xFFFFFFFFu, 1), kInvalidParameter);
  EXPECT_EQ(TillportCheckConfiguredRange(0xFFFFFFFFu, 0xFFFFFFFFu), kInvalidParameter);
}

TEST(CreateCheck, OnlyTheDeviceItselfOpens) {
  EXPECT_EQ(TillportCheckCreate(0), kSuccess);
  // "\\.\Tillport\x" reaches the driver as the name "\x" below its device.
  for (std::uint32_t bytes : {2u, 4u, 0xFFFEu}) EXPECT_EQ(TillportCheckCreate(bytes), 0xC0000034u) << bytes;
}

TEST(StoreValue, WritesLittleEndianAndOnlyTheDataSize) {
  std::uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  TillportStoreValue(out, 2, 0x12345678);
  EXPECT_EQ(out[0], 0x78);
  EXPECT_EQ(out[1], 0x56);
  EXPECT_EQ(out[2], 0xEE);
}

}  // namespace
