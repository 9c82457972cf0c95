// The card reader's receive loop, apart from the port it reads: each read
// of the port ends one way or another (bytes, a line error, a failure, told
// to stop), and this decides what becomes of it. Portable: the Windows
// serial port plugs in behind ReaderPort, a test's fake port likewise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace msr {

// Line errors a serial port reports for what it received.
enum LineError : unsigned {
  kLineFraming = 1,
  kLineOverrun = 2,    // the UART's or the input queue's
  kLineParity = 4,
  kLineBreak = 8,
};

enum class ReadStatus {
  kDone,     // the read ended: with bytes, or with none within the time-outs
  kFailed,   // the port refused the read
  kStopped,  // the reader is told to end
};

class ReaderPort {
 public:
  virtual ~ReaderPort() = default;
  // Reads what arrives within the port's time-outs into `into`.
  virtual ReadStatus Read(std::span<std::uint8_t> into, std::size_t& got) = 0;
  // The line errors seen since the last call, cleared; a port that stops
  // reading after a line error reads again once they are cleared.
  virtual unsigned TakeLineErrors() = 0;
  // Waits `ms` milliseconds; false when told to stop meanwhile.
  virtual bool Pause(unsigned ms) = 0;
};

class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void Received(std::span<const std::uint8_t> bytes) = 0;
  // A swipe arrived damaged on the line: it cannot be read.
  virtual void LineFailed(unsigned errors) = 0;
};

// A port that refuses reads without having seen a line error is tried
// again after this pause, so a failing port never makes the reader spin.
inline constexpr unsigned kRetryPauseMs = 100;

// Reads the port until it says stop. Every read is followed by a look at
// the line errors: bytes that came with errors are a failed swipe, not
// card data, and the errors are cleared so that the next swipe reads.
void RunReader(ReaderPort& port, LineSink& sink);

}  // namespace msr
