#include "linereader.h"

#include "cardline.h"

namespace msr {

void RunReader(ReaderPort& port, LineSink& sink) {
  std::uint8_t buffer[kReceiveBufferSize];
  for (;;) {
    std::size_t got = 0;
    const ReadStatus status = port.Read(buffer, got);
    if (status == ReadStatus::kStopped) return;
    if (const unsigned errors = port.TakeLineErrors()) {
      sink.LineFailed(errors);
      continue;
    }
    if (status == ReadStatus::kFailed) {
      if (!port.Pause(kRetryPauseMs)) return;
      continue;
    }
    if (got > 0) sink.Received({buffer, got < sizeof buffer ? got : sizeof buffer});
  }
}

}  // namespace msr
