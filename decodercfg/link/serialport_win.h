// The serial port of the decoder link, driven with the Win32 serial calls.
// Reads are overlapped: a read of the bytes a reply needs is started and
// the caller's wait passes the time until it completes (Q5RSetup keeps its
// window events flowing meanwhile, the console program simply waits), so a
// reply is taken the moment its last byte is in, with nothing polled.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "handle_win.h"
#include "link/transfer.h"

namespace q5r {

class SerialPort {
 public:
  // How a read passes its time: waits until `event` is signalled or
  // `timeoutMs` (kWaitForever: no limit) has passed; true when signalled.
  using Wait = bool (*)(HANDLE event, int timeoutMs);

  // Opens COM`port` with a settings string such as "9600,N,8,1 ". False when
  // the settings are malformed or the port cannot be opened or set up.
  bool Open(int port, const std::string& settings);
  void Close() { handle_.reset(); }
  bool IsOpen() const { return static_cast<bool>(handle_); }

  bool Write(std::span<const std::uint8_t> bytes);
  // Throws away whatever has been received and not yet taken.
  void ClearReceived();
  // At least `threshold` bytes, with every further byte already waiting
  // then; empty when they did not all come within `timeoutMs`.
  std::vector<std::uint8_t> Receive(std::size_t threshold, int timeoutMs, Wait wait);

 private:
  // One overlapped read of `count` bytes into `into`: the bytes read, or
  // nothing when the wait ran out first (the read is then cancelled).
  std::optional<DWORD> Read(std::uint8_t* into, DWORD count, int timeoutMs, Wait wait);

  kit::UniqueHandle handle_;
  kit::UniqueHandle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// The port as the transfers see it, with the wait of its program.
class SerialPortLine : public SerialLine {
 public:
  SerialPortLine(SerialPort& port, SerialPort::Wait wait) : port_(port), wait_(wait) {}

  bool Write(std::span<const std::uint8_t> bytes) override { return port_.Write(bytes); }
  void ClearReceived() override { port_.ClearReceived(); }
  std::vector<std::uint8_t> AwaitReceived(std::size_t threshold, int timeoutMs) override {
    return port_.Receive(threshold, timeoutMs, wait_);
  }

 private:
  SerialPort& port_;
  SerialPort::Wait wait_;
};

}  // namespace q5r
