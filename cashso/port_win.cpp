#include "port_win.h"

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
  DeviceIoControl(device_.get(), IOCTL_WRITE_PORT_UCHAR, input, sizeof input, nullptr, 0, &returned, nullptr);
}

std::optional<std::uint8_t> DriverPort::ReadStatus() {
  std::uint32_t port = kStatusOffset;
  std::uint8_t output[16] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device_.get(), IOCTL_READ_PORT_UCHAR, &port, sizeof port, output, sizeof output,
                       &returned, nullptr) ||
      returned < 1) {
    return std::nullopt;
  }
  return output[0];
}

}  // namespace cash
