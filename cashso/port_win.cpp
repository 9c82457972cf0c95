#include "port_win.h"

#include <cstdio>
#include <cstring>

#include "tillport_ioctl.h"

namespace cash {

bool DriverPort::Open() {
  device_.reset(CreateFileA(TILLPORT_USER_PATH_A, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr));
  return IsOpen();
}

void DriverPort::WriteKick(std::uint8_t value) {
  // PortNumber, then the byte at offset 4; bytes 5 to 7 unused.
  std::uint8_t input[8] = {};
  const std::uint32_t port = kKickOffset;
  std::memcpy(input, &port, 4);
  input[4] = value;
  DWORD returned = 0;
  const BOOL ok =
      DeviceIoControl(device_.get(), IOCTL_WRITE_PORT_UCHAR, input, sizeof input, nullptr, 0, &returned, nullptr);
  if (trace_ && trace_->On(trace::kWire)) {
    char entry[64];
    std::snprintf(entry, sizeof entry, "port write %u = 0x%02X%s", static_cast<unsigned>(kKickOffset), value,
                  ok ? "" : " failed");
    trace_->Write(trace::kWire, entry);
  }
}

std::optional<std::uint8_t> DriverPort::ReadStatus() {
  std::uint32_t port = kStatusOffset;
  std::uint8_t output[16] = {};
  DWORD returned = 0;
  const bool ok = DeviceIoControl(device_.get(), IOCTL_READ_PORT_UCHAR, &port, sizeof port, output, sizeof output,
                                  &returned, nullptr) &&
                  returned >= 1;
  if (trace_ && trace_->On(trace::kWire)) {
    char entry[64];
    if (ok) {
      std::snprintf(entry, sizeof entry, "port read %u = 0x%02X", static_cast<unsigned>(kStatusOffset), output[0]);
    } else {
      std::snprintf(entry, sizeof entry, "port read %u failed", static_cast<unsigned>(kStatusOffset));
    }
    trace_->Write(trace::kWire, entry);
  }
  if (!ok) return std::nullopt;
  return output[0];
}

}  // namespace cash
