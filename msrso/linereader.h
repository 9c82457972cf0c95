// The card reader's receive loop, apart from the port it reads. It
// assembles each line the reader sends, from the first byte to its CR, out
// of however many reads it arrives in: no time-out that starts before the
// first byte of a line can cut it. It also decides what a line error, a
// refused read and a port that went away become. Portable: the Windows
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
  kDone,     // the read ended: with bytes, or with none within its bound
  kFailed,   // the port refused the read
  kStopped,  // the reader is told to end
};

// How long a read may wait.
enum class ReadWait {
  // For the first byte of a line: without a bound (a swipe may come at any
  // time). The read ends once the line has been quiet for the port's
  // interval time-out after a byte, or when the buffer is full.
  kFirstByte,
  // For the rest of a line already begun: ends with nothing once the line
  // has been quiet for kLineSilenceMs, and may end early with what it has.
  kRestOfLine,
};

// Silence inside a line longer than this ends the line where it stands.
inline constexpr unsigned kLineSilenceMs = 200;

class ReaderPort {
 public:
  virtual ~ReaderPort() = default;
  virtual ReadStatus Read(std::span<std::uint8_t> into, std::size_t& got, ReadWait wait) = 0;
  // The line errors seen since the last call, cleared, into `errors`. False
  // when the port no longer answers: the device is gone (a USB adapter
  // pulled out), not merely a bad line.
  virtual bool TakeLineErrors(unsigned& errors) = 0;
  // Closes the port and opens it again by its name, set up as before;
  // false while it cannot be opened.
  virtual bool Reopen() = 0;
  // Waits `ms` milliseconds; false when told to stop meanwhile.
  virtual bool Pause(unsigned ms) = 0;
};

class LineSink {
 public:
  virtual ~LineSink() = default;
  // A line: up to and including its CR, or as far as it came before the
  // line went quiet, or the first kReceiveBufferSize bytes of a longer one.
  virtual void Received(std::span<const std::uint8_t> bytes) = 0;
  // A swipe arrived damaged on the line: it cannot be read.
  virtual void LineFailed(unsigned errors) = 0;
  // Line errors with no card byte (noise or a break on an idle line).
  virtual void LineNoise(unsigned) {}
  // The port went away, and came back (opened and set up again).
  virtual void PortLost() {}
  virtual void PortBack() {}
};

// A port that refuses reads but still answers is tried again after this
// pause, so a failing port never makes the reader spin.
inline constexpr unsigned kRetryPauseMs = 100;
// A port that went away is opened again by its name this often; the
// first try comes sooner, for a port that was gone only for a moment.
inline constexpr unsigned kReopenPauseMs = 1000;
inline constexpr unsigned kFirstReopenPauseMs = 250;

// Reads the port until it says stop. Every read is followed by a look at
// the line errors: a line whose bytes came with errors is a failed swipe,
// not card data, and the errors are cleared so that the next swipe reads.
void RunReader(ReaderPort& port, LineSink& sink);

}  // namespace msr
