// Reading and clearing the data the decoder keeps in its memory.
//
// RS232: the program sends 02 82 03 83; the decoder answers with blocks of
// 64 data bytes and a check byte (XOR of all 65 is 0) and waits after each
// for "S" (send the next), "P" (end seen) or "E" (bad or no block). The
// data bytes of the blocks form one stream of records:
//   c  <c - 2 text bytes>  check      (XOR of the bytes after c is 0)
// A record is good when c is above 3; c = 0 ends the memory. A record may
// span blocks. Clearing sends 02 83 03 82 and expects 07.
// Keyboard: wake-up "MMMMM" / "NNNNN"; the decoder types the memory text,
// ending it with character code 3.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace q5r {

inline constexpr std::array<std::uint8_t, 4> kReadMemoryRequest = {0x02, 0x82, 0x03, 0x83};
inline constexpr std::array<std::uint8_t, 4> kClearMemoryRequest = {0x02, 0x83, 0x03, 0x82};

inline constexpr std::size_t kMemoryBlockSize = 65;  // receive threshold of a read
inline constexpr std::size_t kMemoryBlockData = 64;
inline constexpr std::size_t kAssemblyBufferSize = 251;
inline constexpr int kMaxMemoryBlocks = 31;
inline constexpr int kMemoryReplyTimeoutMs = 3000;  // per block, and for the clear reply
inline constexpr int kKeyboardMemoryTimeoutMs = 5000;
inline constexpr std::size_t kKeyboardMemoryMaxChars = 3000;  // more ends the read
inline constexpr unsigned int kMemoryEndCode = 3;             // ends typed memory text

// blockStatus of the memory window.
enum class BlockStatus {
  kNothing = 0,  // no reply in time
  kMore = 1,     // block taken, the next is needed (clear: accepted)
  kBad = 2,      // bad block (clear: rejected)
  kEnd = 3,      // end of memory reached
};

// The acknowledgement written after each wait: "S" for kMore, "P" for kEnd,
// "E" otherwise.
char BlockAcknowledgement(BlockStatus status);

// Turns received blocks into text, one line per record, each ended by CR
// LF; a bad record (c of 1..3, or a failed check) gives an empty line. The
// text is the decoder's bytes (ANSI characters) as stored.
class MemoryAssembler {
 public:
  // Empties the buffer; a read starts with it.
  void Reset() { fill_ = 0; }

  // Takes the bytes of one receive event and appends the text of every
  // record that is complete to `text`. A record is taken only when more
  // bytes follow it, so one that ends exactly with a block waits for the
  // next. Returns:
  //   kBad   fewer than 65 bytes, a non-zero XOR of bytes 0..64, or a
  //          block that would carry the buffer past 251 bytes (the buffer
  //          and `text` are then unchanged);
  //   kEnd   a length byte of 0 is at the front of the buffer;
  //   kMore  otherwise: the next block is needed.
  // Bytes after the 65th are ignored.
  BlockStatus AddBlock(std::span<const std::uint8_t> received, std::string& text);

  std::size_t Fill() const { return fill_; }

 private:
  std::array<std::uint8_t, kAssemblyBufferSize> buffer_{};
  std::size_t fill_ = 0;
};

// Clear reply: kMore (accepted) when the first byte is 0x07, else kBad.
BlockStatus ClearReplyStatus(std::span<const std::uint8_t> reply);

// Keyboard read: the typed text is complete when it holds more than 3000
// characters or ends with character code 3.
bool IsKeyboardMemoryComplete(std::wstring_view text);

inline constexpr const wchar_t* kReadMemoryTitle = L"Read Memory Message";
inline constexpr const wchar_t* kReadMemoryQuestion = L"This will read decoder memory data!";
inline constexpr const wchar_t* kClearMemoryTitle = L"Clear Memory Message";
inline constexpr const wchar_t* kClearMemoryQuestion = L"This will Clear decoder memory data!";
// Keyboard time-outs ("Times Out Error") carry these titles.
inline constexpr const wchar_t* kReadTimeOutTitle = L"Read Decoder Memory Message";
inline constexpr const wchar_t* kClearTimeOutTitle = L"Clear Decoder Memory Message";
inline constexpr const wchar_t* kClearMemoryOk = L"Clear Decoder Memory OK!";
inline constexpr const wchar_t* kMemoryChangedQuestion =
    L"Memory Data had been changed,do you want to save your file?";
inline constexpr const wchar_t* kMemoryChangedTitle = L"Memory Data Read";
inline constexpr const wchar_t* kMemoryFileFilter = L"Memory Data File(*.txt)|*.txt";
inline constexpr const wchar_t* kMemoryFileExtension = L"txt";

// Messages at the end of a serial read and a serial clear, by blockStatus.
inline constexpr std::array<const wchar_t*, 4> kReadMemoryMessages = {
    L"Time Out Error!", L"   Read Decoder Memory OK!", L"Read Decoder Memory Failed!",
    L"   Read Decoder Memory OK!"};
inline constexpr std::array<const wchar_t*, 4> kClearMemoryMessages = {
    L"Time Out Error!", kClearMemoryOk, L"Clear Decoder Memory Failed!", kClearMemoryOk};

}  // namespace q5r
