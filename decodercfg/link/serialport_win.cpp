#include "link/serialport_win.h"

#include <windows.h>

#include "link/linksettings.h"
#include "link/waitloop_win.h"
#include "serialname.h"
#include "text_win.h"

namespace q5r {

bool SerialPort::Open(int port, const std::string& settings) {
  Close();
  const auto line = ParseLineSettings(settings);
  if (!line || port < 1) return false;
  const std::wstring name = kit::FromAnsi(kit::SerialDeviceName("COM" + std::to_string(port)));
  kit::UniqueHandle handle(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  if (!handle || !done_) return false;

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

  // No read time-outs: a read ends when all it asked for is in, or when the
  // caller's wait gives up and cancels it.
  COMMTIMEOUTS timeouts{};
  timeouts.WriteTotalTimeoutConstant = 2000;
  if (!SetCommTimeouts(handle.get(), &timeouts)) return false;
  PurgeComm(handle.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
  handle_ = std::move(handle);
  return true;
}

bool SerialPort::Write(std::span<const std::uint8_t> bytes) {
  if (!handle_) return false;
  OVERLAPPED ov{};
  ov.hEvent = done_.get();
  ResetEvent(done_.get());
  DWORD written = 0;
  // The write time-out (2 s) bounds it; the window's events wait meanwhile.
  if (!WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &ov) &&
      (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(handle_.get(), &ov, &written, TRUE))) {
    return false;
  }
  return written == bytes.size();
}

void SerialPort::ClearReceived() {
  if (handle_) PurgeComm(handle_.get(), PURGE_RXCLEAR);
}

std::optional<DWORD> SerialPort::Read(std::uint8_t* into, DWORD count, int timeoutMs, Wait wait) {
  OVERLAPPED ov{};
  ov.hEvent = done_.get();
  ResetEvent(done_.get());
  DWORD got = 0;
  if (ReadFile(handle_.get(), into, count, &got, &ov)) return got;
  if (GetLastError() != ERROR_IO_PENDING) return std::nullopt;
  if (!wait(done_.get(), timeoutMs)) {
    CancelIo(handle_.get());
    GetOverlappedResult(handle_.get(), &ov, &got, TRUE);
    return std::nullopt;
  }
  if (!GetOverlappedResult(handle_.get(), &ov, &got, FALSE)) return std::nullopt;
  return got;
}

std::vector<std::uint8_t> SerialPort::Receive(std::size_t threshold, int timeoutMs, Wait wait) {
  if (!handle_ || threshold == 0) return {};
  std::vector<std::uint8_t> bytes(threshold);
  const auto got = Read(bytes.data(), static_cast<DWORD>(bytes.size()), timeoutMs, wait);
  if (!got || *got < threshold) return {};
  // What else is waiting goes with it, as one receive event hands over
  // everything that is in.
  DWORD errors = 0;
  COMSTAT status{};
  if (ClearCommError(handle_.get(), &errors, &status) && status.cbInQue > 0) {
    const std::size_t had = bytes.size();
    bytes.resize(had + status.cbInQue);
    const auto more = Read(bytes.data() + had, status.cbInQue, kWaitForever, wait);
    bytes.resize(had + (more ? *more : 0));
  }
  return bytes;
}

}  // namespace q5r
