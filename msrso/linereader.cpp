#include "linereader.h"

#include <algorithm>

#include "cardline.h"

namespace msr {

namespace {

constexpr std::uint8_t kCr = 0x0D;

// Whether bytes hold anything a card line is made of (printable ASCII), as
// opposed to what noise or a break leaves on an idle line.
bool CarriesCardBytes(std::span<const std::uint8_t> bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b > 0x20 && b < 0x7F; });
}

// Waits until the port can be opened again.
bool Reconnect(ReaderPort& port, LineSink& sink) {
  sink.PortLost();
  unsigned pause = kFirstReopenPauseMs;
  do {
    if (!port.Pause(pause)) return false;
    pause = kReopenPauseMs;
  } while (!port.Reopen());
  sink.PortBack();
  return true;
}

}  // namespace

void RunReader(ReaderPort& port, LineSink& sink) {
  std::uint8_t line[kReceiveBufferSize];
  std::size_t have = 0;   // the line so far (no CR among it)
  bool skipping = false;  // dropping the rest of a line already dealt with
  for (;;) {
    const bool midLine = have > 0 || skipping;
    const std::span<std::uint8_t> into(line + have, sizeof line - have);
    std::size_t got = 0;
    const ReadStatus status = port.Read(into, got, midLine ? ReadWait::kRestOfLine : ReadWait::kFirstByte);
    if (status == ReadStatus::kStopped) return;
    got = std::min(got, into.size());
    const std::span<const std::uint8_t> piece(into.data(), got);

    unsigned errors = 0;
    if (!port.TakeLineErrors(errors)) {
      // The device is gone, and what had come of a line with it.
      have = 0;
      skipping = false;
      if (!Reconnect(port, sink)) return;
      continue;
    }
    if (errors) {
      if (!skipping && (CarriesCardBytes({line, have}) || CarriesCardBytes(piece))) {
        sink.LineFailed(errors);
      } else {
        sink.LineNoise(errors);
      }
      // Whatever is still to come of a damaged line is dropped with it.
      skipping = got > 0 ? piece.back() != kCr : midLine;
      have = 0;
      continue;
    }
    if (status == ReadStatus::kFailed) {
      if (!port.Pause(kRetryPauseMs)) return;
      continue;
    }
    if (got == 0) {
      // The line went quiet: a line without its CR ends where it stands.
      if (have > 0 && !skipping) sink.Received({line, have});
      have = 0;
      skipping = false;
      continue;
    }

    const auto cr = std::find(piece.begin(), piece.end(), kCr);
    if (skipping) {
      // The end of the dropped line; any bytes after its CR are another
      // line in the same burst, dropped too.
      if (cr != piece.end()) skipping = piece.back() != kCr;
      continue;
    }
    have += got;
    if (cr != piece.end()) {
      // A line is never queued behind another: bytes after its CR in the
      // same burst are dropped, up to the end of their line.
      sink.Received({line, static_cast<std::size_t>(cr - piece.begin()) + (into.data() - line) + 1});
      skipping = piece.back() != kCr;
      have = 0;
    } else if (have == sizeof line) {
      // Longer than any card's line: its first part is taken, the rest dropped.
      sink.Received({line, have});
      skipping = true;
      have = 0;
    }
  }
}

}  // namespace msr
