// Reads arbitrary characters as a keyboard upload reply (each input byte is
// one typed character). A taken reply has 145 characters, a flag of "0" or
// "1", digits that read back to its bytes and a zero XOR. Independently of
// the input, a reply typed from the input's bytes with upper-case pairs is
// always taken and gives those bytes back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/protocol.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::wstring Widen(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
  return text;
}

void CheckTaken(const std::wstring& text, const q5r::KeyboardUploadReply& reply) {
  Check(text.size() == q5r::kKeyboardUploadChars);
  Check(text[0] == L'0' || text[0] == L'1');
  const bool mag = text[0] == L'0';
  Check(reply.data.section == (mag ? q5r::ImageSection::kMagReader : q5r::ImageSection::kBarDecoder));
  const std::size_t count = mag ? 60 : 25;
  Check(reply.data.bytes.size() == count);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i <= count; ++i) {
    const unsigned high = q5r::HexDigitValue(static_cast<unsigned>(text[1 + 2 * i]));
    const unsigned low = q5r::HexDigitValue(static_cast<unsigned>(text[2 + 2 * i]));
    Check(high <= q5r::kMaxHexDigit && low <= q5r::kMaxHexDigit);
    const auto byte = static_cast<std::uint8_t>(high * 16 + low);
    if (i < count) Check(reply.data.bytes[i] == byte);
    sum ^= byte;
  }
  Check(sum == 0);
  Check(reply.versionFirst + reply.versionSecond == text.substr(text.size() - 22));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = Widen(data, size);
  if (const auto reply = q5r::ParseKeyboardUploadReply(text)) CheckTaken(text, *reply);

  // A well-formed reply built from the input: flag from the first byte,
  // data bytes from the rest (zero when the input runs out).
  const bool mag = size > 0 && (data[0] & 1) != 0;
  const std::size_t count = mag ? 60 : 25;
  std::vector<std::uint8_t> bytes(count, 0);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (i + 1 < size) bytes[i] = data[i + 1];
    sum ^= bytes[i];
  }
  std::wstring typed(1, mag ? L'0' : L'1');
  auto type = [&typed](std::uint8_t b) {
    for (const char c : q5r::HexPair(b)) typed.push_back(static_cast<wchar_t>(c));
  };
  for (const std::uint8_t b : bytes) type(b);
  type(sum);
  typed.resize(q5r::kKeyboardUploadChars - 22, L'~');
  typed += L"Q5R V2.10   2026-12-01";
  const auto rebuilt = q5r::ParseKeyboardUploadReply(typed);
  Check(rebuilt.has_value() && rebuilt->data.bytes == bytes);
  CheckTaken(typed, *rebuilt);
  return 0;
}
