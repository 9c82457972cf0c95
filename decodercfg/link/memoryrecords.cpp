#include "link/memoryrecords.h"

#include <algorithm>
#include <cstring>

namespace q5r {

char BlockAcknowledgement(BlockStatus status) {
  switch (status) {
    case BlockStatus::kMore:
      return 'S';
    case BlockStatus::kEnd:
      return 'P';
    default:
      return 'E';
  }
}

BlockStatus MemoryAssembler::AddBlock(std::span<const std::uint8_t> received, std::string& text) {
  if (received.size() < kMemoryBlockSize) return BlockStatus::kBad;
  std::uint8_t check = 0;
  for (std::size_t i = 0; i < kMemoryBlockSize; ++i) check ^= received[i];
  if (check != 0) return BlockStatus::kBad;
  if (fill_ + kMemoryBlockData > kAssemblyBufferSize) return BlockStatus::kBad;

  std::copy_n(received.begin(), kMemoryBlockData, buffer_.begin() + static_cast<std::ptrdiff_t>(fill_));
  fill_ += kMemoryBlockData;

  // Every record that more bytes follow is complete. fill_ stays at least 1
  // inside the loop, so buffer_[0] is always a received byte.
  std::size_t length = buffer_[0];
  while (length < fill_) {
    bool good = false;
    if (length > 3) {
      std::uint8_t sum = 0;
      for (std::size_t i = 1; i < length; ++i) sum ^= buffer_[i];
      good = sum == 0;
    }
    if (good) text.append(reinterpret_cast<const char*>(buffer_.data()) + 1, length - 2);
    text.append("\r\n");
    // A length of 0 consumes nothing and ends the memory just below.
    std::memmove(buffer_.data(), buffer_.data() + length, fill_ - length);
    fill_ -= length;
    length = buffer_[0];
    if (length == 0) return BlockStatus::kEnd;
  }
  return BlockStatus::kMore;
}

BlockStatus ClearReplyStatus(std::span<const std::uint8_t> reply) {
  return !reply.empty() && reply[0] == 0x07 ? BlockStatus::kMore : BlockStatus::kBad;
}

bool IsKeyboardMemoryComplete(std::wstring_view text) {
  return text.size() > kKeyboardMemoryMaxChars ||
         (!text.empty() && static_cast<unsigned int>(text.back()) == kMemoryEndCode);
}

}  // namespace q5r
