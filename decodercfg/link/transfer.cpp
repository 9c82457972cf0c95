#include "link/transfer.h"

#include <chrono>

namespace q5r {

SerialResult SerialDownload(SerialLine& line, const ImageBytes& image, bool saveInDecoder,
                            const std::function<void()>& onRequested) {
  const DownloadFrame frame = BuildDownloadFrame(image, saveInDecoder);
  // The receive buffer is emptied before the frame goes out, so that a
  // quick answer cannot be thrown away with it.
  line.ClearReceived();
  line.Write(frame);
  if (onRequested) onRequested();
  const auto reply = line.AwaitReceived(1, kSerialDownloadTimeoutMs);
  if (reply.empty()) return SerialResult::kNothing;
  return IsDownloadAccepted(reply) ? SerialResult::kAccepted : SerialResult::kRejected;
}

SerialUploadOutcome SerialUpload(SerialLine& line, const std::function<void()>& onRequested) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kSerialUploadTimeoutMs);
  const auto remaining = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  };
  line.ClearReceived();
  line.Write(kUploadRequest);
  if (onRequested) onRequested();
  // The receive event comes once 84 bytes wait. A reply that announces more
  // (L above 60) is then collected to its announced end within the same
  // time-out; one that never gets there is rejected, not read past its end.
  std::vector<std::uint8_t> received = line.AwaitReceived(kUploadReceiveThreshold, remaining());
  SerialUploadOutcome outcome;
  if (received.size() < kUploadReceiveThreshold) return outcome;
  while (received[0] >= kMinUploadLength && received.size() < received[0] + 24u) {
    const auto more = line.AwaitReceived(1, remaining());
    if (more.empty()) break;
    received.insert(received.end(), more.begin(), more.end());
  }
  outcome.reply = ParseSerialUploadReply(received);
  outcome.result = outcome.reply ? SerialResult::kAccepted : SerialResult::kRejected;
  return outcome;
}

BlockStatus SerialReadMemory(SerialLine& line, MemoryAssembler& assembler, std::string& text,
                             const std::function<void(std::string_view added)>& onText,
                             const std::function<void()>& onRequested) {
  // Each acknowledgement asks for the next block, so the receive buffer is
  // emptied before it goes out, never after. The request and every
  // acknowledgement go out as soon as they can; the caller's work (showing
  // the text) is done while the decoder sends the next block.
  line.ClearReceived();
  line.Write(kReadMemoryRequest);
  if (onRequested) onRequested();
  BlockStatus status = BlockStatus::kNothing;
  for (int block = 0; block < kMaxMemoryBlocks; ++block) {
    const std::size_t shown = text.size();
    const auto received = line.AwaitReceived(kMemoryBlockSize, kMemoryReplyTimeoutMs);
    status = received.empty() ? BlockStatus::kNothing : assembler.AddBlock(received, text);
    const auto ack = static_cast<std::uint8_t>(BlockAcknowledgement(status));
    line.ClearReceived();
    line.Write(std::span(&ack, 1));
    if (onText && text.size() > shown) onText(std::string_view(text).substr(shown));
    if (status != BlockStatus::kMore) break;
  }
  return status;
}

BlockStatus SerialClearMemory(SerialLine& line, const std::function<void()>& onRequested) {
  line.ClearReceived();
  line.Write(kClearMemoryRequest);
  if (onRequested) onRequested();
  const auto reply = line.AwaitReceived(1, kMemoryReplyTimeoutMs);
  return reply.empty() ? BlockStatus::kNothing : ClearReplyStatus(reply);
}

}  // namespace q5r
