#include "link/transfer.h"

#include <chrono>

namespace q5r {

SerialResult SerialDownload(SerialLine& line, const ImageBytes& image, bool saveInDecoder) {
  const DownloadFrame frame = BuildDownloadFrame(image, saveInDecoder);
  // The receive buffer is emptied before the frame goes out, so that a
  // quick answer cannot be thrown away with it.
  line.ClearReceived();
  line.Write(frame);
  const auto reply = line.AwaitReceived(1, kSerialDownloadTimeoutMs);
  if (reply.empty()) return SerialResult::kNothing;
  return IsDownloadAccepted(reply) ? SerialResult::kAccepted : SerialResult::kRejected;
}

SerialUploadOutcome SerialUpload(SerialLine& line) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kSerialUploadTimeoutMs);
  const auto remaining = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  };
  line.ClearReceived();
  line.Write(kUploadRequest);
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
                             const std::function<void(std::string_view added)>& onText) {
  // Each acknowledgement asks for the next block, so the receive buffer is
  // emptied before it goes out, never after.
  BlockStatus status = BlockStatus::kNothing;
  std::vector<std::uint8_t> request(kReadMemoryRequest.begin(), kReadMemoryRequest.end());
  for (int block = 0; block < kMaxMemoryBlocks; ++block) {
    line.ClearReceived();
    line.Write(request);
    const std::size_t shown = text.size();
    const auto received = line.AwaitReceived(kMemoryBlockSize, kMemoryReplyTimeoutMs);
    status = received.empty() ? BlockStatus::kNothing : assembler.AddBlock(received, text);
    if (onText && text.size() > shown) onText(std::string_view(text).substr(shown));
    request.assign(1, static_cast<std::uint8_t>(BlockAcknowledgement(status)));
    if (status != BlockStatus::kMore) break;
  }
  line.Write(request);  // the acknowledgement of the last wait
  return status;
}

BlockStatus SerialClearMemory(SerialLine& line) {
  line.ClearReceived();
  line.Write(kClearMemoryRequest);
  const auto reply = line.AwaitReceived(1, kMemoryReplyTimeoutMs);
  return reply.empty() ? BlockStatus::kNothing : ClearReplyStatus(reply);
}

}  // namespace q5r
