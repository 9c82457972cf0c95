// Fuzz target of the driver's request checks. The input is
//   byte 0       control code: 0-5 one of the six, 6-8 a test-build code,
//                otherwise the next 4 bytes are the code itself
//   then         output length (2 bytes), range base (4 bytes, times 1 or
//                2^32 by its top bit), range count (4), memory type (1)
//   the rest     the request's input bytes, exactly as long as they are
// and the checks must hold what they promise: a request they pass lies
// wholly inside the range, aligned, with the buffer sizes its code needs,
// and a refused one names a status of the table. The bytes are given in a
// buffer of their exact length, so AddressSanitizer sees any read past it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "requestcheck.h"
#include "simbank.h"
#include "tillport_ioctl.h"
#include "tillport_sim_ioctl.h"

namespace {

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint32_t Take(std::size_t n) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (at_ < size_) value |= static_cast<std::uint32_t>(data_[at_++]) << (8 * i);
    }
    return value;
  }
  std::vector<std::uint8_t> Rest() const {
    return at_ < size_ ? std::vector<std::uint8_t>(data_ + at_, data_ + size_)
                       : std::vector<std::uint8_t>();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void Require(bool condition) {
  if (!condition) std::abort();
}

const TillportControlCodeInfo* Find(std::uint32_t code) {
  for (const TillportControlCodeInfo& info : TillportControlCodes) {
    if (info.Code == code) return &info;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  const std::uint32_t selector = in.Take(1);
  std::uint32_t code;
  if (selector < TILLPORT_CONTROL_CODE_COUNT) {
    code = TillportControlCodes[selector].Code;
  } else if (selector < 9) {
    const std::uint32_t sim[3] = {IOCTL_TILLPORTSIM_SET_DRAWER, IOCTL_TILLPORTSIM_READ_LOG,
                                  IOCTL_TILLPORTSIM_CLEAR_LOG};
    code = sim[selector - TILLPORT_CONTROL_CODE_COUNT];
  } else {
    code = in.Take(4);
  }
  const std::uint32_t outputLength = in.Take(2);
  const std::uint32_t base = in.Take(4);
  TillportRange range;
  range.PortBase = (base & 0x80000000u) ? static_cast<std::uint64_t>(base) << 32 | base : base;
  range.PortCount = in.Take(4);
  range.PortMemoryType = in.Take(1) & 1u;
  std::vector<std::uint8_t> input = in.Rest();
  const std::uint32_t inputLength = static_cast<std::uint32_t>(input.size());
  // An exact-size heap copy: any read past inputLength is caught.
  std::uint8_t* buffer = inputLength ? static_cast<std::uint8_t*>(std::malloc(inputLength)) : nullptr;
  if (inputLength) std::memcpy(buffer, input.data(), inputLength);

  TillportRequest request;
  TillportCheckRequest(code, buffer, inputLength, outputLength, &range, &request);
  const TillportControlCodeInfo* info = Find(code);
  if (info == nullptr) {
    Require(request.Status == TILLPORT_STATUS_NOT_IMPLEMENTED);
    Require(request.Operation == TillportOperationNone);
  } else if (request.Status == TILLPORT_STATUS_SUCCESS) {
    const std::uint64_t n = info->DataSize;
    Require(request.Operation == (info->IsWrite ? TillportOperationWrite : TillportOperationRead));
    Require(request.Size == n);
    Require(info->IsWrite ? inputLength >= 4 + n : (inputLength >= 4 && outputLength >= n));
    Require(static_cast<std::uint64_t>(request.PortNumber) + n <= range.PortCount);
    Require(request.Address == range.PortBase + request.PortNumber);
    Require(request.Address % n == 0);
    Require(request.UsePorts == range.PortMemoryType);
  } else {
    Require(request.Operation == TillportOperationNone);
    Require(request.Status == TILLPORT_STATUS_INVALID_PARAMETER ||
            request.Status == TILLPORT_STATUS_ACCESS_VIOLATION);
  }

  const std::uint32_t address = range.PortCount ^ base;
  const bool fits = address <= 0xFFFFu &&
                    static_cast<std::uint64_t>(address) + range.PortCount <= 0x10000u;
  Require(TillportCheckConfiguredRange(address, range.PortCount) ==
          (fits ? TILLPORT_STATUS_SUCCESS : TILLPORT_STATUS_INVALID_PARAMETER));

  // The test build's requests on a METHOD_BUFFERED buffer as big as the
  // larger of the two lengths, as the system allocates it.
  static TillportSimBank bank;
  static bool ready = false;
  if (!ready) {
    TillportSimInit(&bank);
    ready = true;
  }
  const std::uint32_t simOutput = outputLength % 512;
  std::vector<std::uint8_t> system(inputLength > simOutput ? inputLength : simOutput);
  if (inputLength) std::memcpy(system.data(), buffer, inputLength);
  std::uint32_t returned = 0;
  const std::uint32_t status = TillportSimControl(&bank, code, system.empty() ? nullptr : system.data(),
                                                  inputLength, simOutput, &returned);
  Require(returned <= simOutput);
  Require(status == TILLPORT_STATUS_SUCCESS || returned == 0);
  if (request.Operation == TillportOperationWrite) {
    TillportSimWrite(&bank, request.Address, request.Size, request.Value, 0);
  } else if (request.Operation == TillportOperationRead) {
    (void)TillportSimRead(&bank, request.Address, request.Size);
  }
  std::free(buffer);
  return 0;
}
