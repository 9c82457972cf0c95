#include "link/serialport_win.h"

#include <windows.h>

#include "link/linksettings.h"

namespace q5r {

bool SerialPort::Open(int port, const std::string& settings) {
  Close();
  const auto line = ParseLineSettings(settings);
  if (!line || port < 1) return false;
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(port);
  kit::UniqueHandle handle(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return false;

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle.get(), &dcb)) return false;
  dcb.BaudRate = line->baud;
  dcb.ByteSize = static_cast<BYTE>(line->dataBits);
  dcb.StopBits = line->stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  switch (line->parity) {
    case 'E': dcb.Parity = EVENPARITY; break;
    case 'O': dcb.Parity = ODDPARITY; break;
    case 'M': dcb.Parity = MARKPARITY; break;
    case 'S': dcb.Parity = SPACEPARITY; break;
    default: dcb.Parity = NOPARITY; break;
  }
  dcb.fBinary = TRUE;
  dcb.fParity = dcb.Parity != NOPARITY;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  if (!SetCommState(handle.get(), &dcb)) return false;

  // Reads never block: the wait loops ask only for what is already there.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = 2000;
  if (!SetCommTimeouts(handle.get(), &timeouts)) return false;
  PurgeComm(handle.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
  handle_ = std::move(handle);
  threshold_ = 1;
  return true;
}

bool SerialPort::Write(std::span<const std::uint8_t> bytes) {
  DWORD written = 0;
  return handle_ &&
         WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void SerialPort::ClearReceived() {
  if (handle_) PurgeComm(handle_.get(), PURGE_RXCLEAR);
}

std::vector<std::uint8_t> SerialPortLine::AwaitReceived(std::size_t threshold, int timeoutMs) {
  port_.SetThreshold(threshold);
  std::vector<std::uint8_t> received;
  wait_(
      [&] {
        received = port_.Received();
        return !received.empty();
      },
      timeoutMs);
  return received;
}

std::vector<std::uint8_t> SerialPort::Received() {
  if (!handle_) return {};
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(handle_.get(), &errors, &status) || status.cbInQue < threshold_) return {};
  std::vector<std::uint8_t> bytes(status.cbInQue);
  DWORD got = 0;
  if (!ReadFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return {};
  bytes.resize(got);
  return bytes;
}

}  // namespace q5r
