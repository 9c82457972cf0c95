// Feeds arbitrary bytes to the memory block assembly, 65 bytes per block,
// and compares every step with a model that reads the same records straight
// from the whole stream by absolute position. The first input byte chooses
// whether the blocks' check bytes are made right (so that most blocks are
// taken) or left as they come.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/memoryrecords.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

using q5r::BlockStatus;

// The record stream as the decoder wrote it, read from `start` on.
struct StreamModel {
  std::vector<std::uint8_t> stream;  // data bytes of every block taken
  std::size_t start = 0;             // first byte of the next record

  BlockStatus Add(std::span<const std::uint8_t> block, std::string& text) {
    if (block.size() < 65) return BlockStatus::kBad;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 65; ++i) sum ^= block[i];
    if (sum != 0 || stream.size() - start + 64 > 251) return BlockStatus::kBad;
    stream.insert(stream.end(), block.begin(), block.begin() + 64);
    while (start + stream[start] < stream.size()) {
      const std::size_t c = stream[start];
      std::uint8_t check = 0;
      for (std::size_t i = 1; i < c; ++i) check ^= stream[start + i];
      if (c > 3 && check == 0) {
        for (std::size_t i = 1; i + 1 < c; ++i) text.push_back(static_cast<char>(stream[start + i]));
      }
      text += "\r\n";
      start += c;
      if (stream[start] == 0) return BlockStatus::kEnd;
    }
    return BlockStatus::kMore;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool fixChecks = (data[0] & 1) != 0;
  q5r::MemoryAssembler assembler;
  StreamModel model;
  std::string text, modelText;
  std::size_t at = 1;
  for (int n = 0; n < q5r::kMaxMemoryBlocks && at < size; ++n) {
    std::vector<std::uint8_t> block(data + at, data + std::min(size, at + 65));
    at += 65;
    if (fixChecks && block.size() == 65) {
      std::uint8_t sum = 0;
      for (std::size_t i = 0; i < 64; ++i) sum ^= block[i];
      block[64] = sum;
    }
    const BlockStatus status = assembler.AddBlock(block, text);
    Check(status == model.Add(block, modelText));
    Check(text == modelText);
    Check(assembler.Fill() <= q5r::kAssemblyBufferSize);
    Check(assembler.Fill() == model.stream.size() - model.start);
    if (status != BlockStatus::kMore) break;
  }
  return 0;
}
