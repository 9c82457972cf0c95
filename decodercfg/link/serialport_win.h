// The serial port of the decoder link, driven with the Win32 serial calls.
// Received data is taken on the window's thread: a wait loop polls
// Received(), which hands over every byte waiting once at least the
// receive threshold is there.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "handle_win.h"
#include "link/transfer.h"

namespace q5r {

class SerialPort {
 public:
  // Opens COM`port` with a settings string such as "9600,N,8,1 ". False when
  // the settings are malformed or the port cannot be opened or set up.
  bool Open(int port, const std::string& settings);
  void Close() { handle_.reset(); }
  bool IsOpen() const { return static_cast<bool>(handle_); }

  bool Write(std::span<const std::uint8_t> bytes);
  // Throws away whatever has been received and not yet taken.
  void ClearReceived();
  // Bytes that must be waiting before Received() hands anything over.
  void SetThreshold(std::size_t bytes) { threshold_ = bytes; }
  // Every byte waiting, once at least the threshold is there; else empty.
  std::vector<std::uint8_t> Received();

 private:
  kit::UniqueHandle handle_;
  std::size_t threshold_ = 1;
};

// The port as the transfers see it. `wait` is how a wait passes its time:
// Q5RSetup's keeps the window events flowing (PumpUntil), the console
// program's sleeps. It polls `done` and answers whether it held in time.
class SerialPortLine : public SerialLine {
 public:
  using Wait = bool (*)(const std::function<bool()>& done, int timeoutMs);
  SerialPortLine(SerialPort& port, Wait wait) : port_(port), wait_(wait) {}

  bool Write(std::span<const std::uint8_t> bytes) override { return port_.Write(bytes); }
  void ClearReceived() override { port_.ClearReceived(); }
  std::vector<std::uint8_t> AwaitReceived(std::size_t threshold, int timeoutMs) override;

 private:
  SerialPort& port_;
  Wait wait_;
};

}  // namespace q5r
