#include "link/memoryrecords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace q5r {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A good record: length, text, check.
Bytes Record(std::string_view text) {
  Bytes record{static_cast<std::uint8_t>(text.size() + 2)};
  std::uint8_t check = 0;
  for (const char c : text) {
    record.push_back(static_cast<std::uint8_t>(c));
    check ^= static_cast<std::uint8_t>(c);
  }
  record.push_back(check);
  return record;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The stream cut into 65-byte blocks, zero-padded, each with its check byte.
std::vector<Bytes> Blocks(const Bytes& stream) {
  std::vector<Bytes> blocks;
  for (std::size_t at = 0; at == 0 || at < stream.size(); at += kMemoryBlockData) {
    Bytes block(kMemoryBlockData, 0);
    for (std::size_t i = 0; i < kMemoryBlockData && at + i < stream.size(); ++i) block[i] = stream[at + i];
    std::uint8_t check = 0;
    for (const std::uint8_t b : block) check ^= b;
    block.push_back(check);
    blocks.push_back(block);
  }
  return blocks;
}

// Feeds blocks until one is not kMore; the statuses seen, in order.
std::vector<BlockStatus> ReadAll(MemoryAssembler& assembler, const std::vector<Bytes>& blocks, std::string& text) {
  std::vector<BlockStatus> statuses;
  for (const Bytes& block : blocks) {
    statuses.push_back(assembler.AddBlock(block, text));
    EXPECT_LE(assembler.Fill(), kAssemblyBufferSize);
    if (statuses.back() != BlockStatus::kMore) break;
  }
  return statuses;
}

using S = BlockStatus;

TEST(MemoryBlocks, EmptyMemoryGivesOneEmptyLineAndEnds) {
  MemoryAssembler assembler;
  std::string text;
  EXPECT_EQ(ReadAll(assembler, Blocks({0}), text), std::vector<S>{S::kEnd});
  EXPECT_EQ(text, "\r\n");
  EXPECT_EQ(BlockAcknowledgement(S::kEnd), 'P');
}

TEST(MemoryBlocks, RecordsBecomeLinesAndMaySpanBlocks) {
  // 60 bytes of records, then a record of length 10 that the block boundary
  // cuts after its fourth byte.
  const Bytes first = Join({Record(std::string(28, 'x')), Record(std::string(28, 'y'))});
  ASSERT_EQ(first.size(), 60u);
  const Bytes stream = Join({first, Record("12345678"), Record("AB"), {0}});
  MemoryAssembler assembler;
  std::string text;
  EXPECT_EQ(ReadAll(assembler, Blocks(stream), text), (std::vector<S>{S::kMore, S::kEnd}));
  EXPECT_EQ(text, std::string(28, 'x') + "\r\n" + std::string(28, 'y') + "\r\n12345678\r\nAB\r\n");
}

TEST(MemoryBlocks, ARecordEndingWithTheDataWaitsForTheNextBlock) {
  const Bytes record = Record(std::string(62, 'r'));  // exactly 64 bytes
  MemoryAssembler assembler;
  std::string text;
  EXPECT_EQ(assembler.AddBlock(Blocks(record)[0], text), S::kMore);
  EXPECT_EQ(text, "");
  EXPECT_EQ(assembler.AddBlock(Blocks({0})[0], text), S::kEnd);
  EXPECT_EQ(text, std::string(62, 'r') + "\r\n");
}

TEST(MemoryBlocks, BadRecordsLeaveEmptyLinesAndReadingGoesOn) {
  Bytes broken = Record("broken");
  broken.back() ^= 1;
  const std::string raw("a\0b\r\xff", 5);  // shown as stored, whatever the bytes
  const Bytes stream = Join({Record("one"), {1}, {2, 'a'}, {3, 'a', 'a'}, broken, Record(raw), {0}});
  MemoryAssembler assembler;
  std::string text;
  EXPECT_EQ(ReadAll(assembler, Blocks(stream), text), std::vector<S>{S::kEnd});
  EXPECT_EQ(text, "one\r\n\r\n\r\n\r\n\r\n" + raw + "\r\n");
}

TEST(MemoryBlocks, BadOrShortBlocksChangeNothing) {
  const std::vector<Bytes> blocks = Blocks(Join({Record("abc"), Record(std::string(60, 'z')), {0}}));
  MemoryAssembler assembler;
  std::string text = "kept";
  ASSERT_EQ(assembler.AddBlock(blocks[0], text), S::kMore);
  ASSERT_EQ(text, "kept" "abc\r\n");
  const std::size_t fill = assembler.Fill();

  Bytes bad = blocks[1];
  bad[64] ^= 0x80;
  EXPECT_EQ(assembler.AddBlock(bad, text), S::kBad);
  const Bytes shortBlock(blocks[1].begin(), blocks[1].end() - 1);
  EXPECT_EQ(assembler.AddBlock(shortBlock, text), S::kBad);
  EXPECT_EQ(assembler.AddBlock({}, text), S::kBad);
  EXPECT_EQ(assembler.Fill(), fill);
  EXPECT_EQ(text, "kept" "abc\r\n");
  EXPECT_EQ(BlockAcknowledgement(S::kBad), 'E');
  EXPECT_EQ(BlockAcknowledgement(S::kNothing), 'E');
  EXPECT_EQ(BlockAcknowledgement(S::kMore), 'S');

  // The block comes again, whole; bytes after the 65th are not part of it.
  Bytes longer = blocks[1];
  longer.insert(longer.end(), {1, 2, 3});
  EXPECT_EQ(assembler.AddBlock(longer, text), S::kEnd);
  EXPECT_EQ(text, "kept" "abc\r\n" + std::string(60, 'z') + "\r\n");
}

TEST(MemoryBlocks, ARecordTooLongForTheBufferEndsTheReadAsBad) {
  Bytes stream{250};
  stream.resize(400, 'q');
  MemoryAssembler assembler;
  std::string text;
  EXPECT_EQ(ReadAll(assembler, Blocks(stream), text), (std::vector<S>{S::kMore, S::kMore, S::kMore, S::kBad}));
  EXPECT_EQ(assembler.Fill(), 192u);
  EXPECT_EQ(text, "");

  // A new read starts with an empty buffer.
  assembler.Reset();
  EXPECT_EQ(assembler.AddBlock(Blocks(Join({Record("next"), {0}}))[0], text), S::kEnd);
  EXPECT_EQ(text, "next\r\n");
}

TEST(MemoryClear, OnlyAFirstByteOf07IsAccepted) {
  EXPECT_EQ(ClearReplyStatus(Bytes{0x07}), S::kMore);
  EXPECT_EQ(ClearReplyStatus(Bytes{0x06, 0x07}), S::kBad);
  EXPECT_EQ(ClearReplyStatus({}), S::kBad);
}

TEST(MemoryKeyboard, TypedTextEndsWithCode3OrAfter3000Characters) {
  EXPECT_FALSE(IsKeyboardMemoryComplete(L""));
  EXPECT_FALSE(IsKeyboardMemoryComplete(L"\x03" L"abc"));
  EXPECT_TRUE(IsKeyboardMemoryComplete(L"abc\x03"));
  EXPECT_FALSE(IsKeyboardMemoryComplete(std::wstring(3000, L'x')));
  EXPECT_TRUE(IsKeyboardMemoryComplete(std::wstring(3001, L'x')));
}

}  // namespace
}  // namespace q5r
