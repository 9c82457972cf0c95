// Feeds arbitrary received bytes to the trace's masking of a card line and
// of the card strings decoded from it. Whatever the line holds, the masked
// line has its length, shows nothing but the structure characters, '*' and
// digits that stand where the line has them, at most ten digits for each
// of its two account numbers, and no decoded field of three characters or
// more that is not made of those.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "cardline.h"
#include "cardmask.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::string masked = msr::MaskLine(line);
  Check(masked.size() == line.size());
  std::size_t digits = 0;
  for (std::size_t i = 0; i < masked.size(); ++i) {
    const char c = masked[i];
    if (c >= '0' && c <= '9') {
      Check(line[i] == c);
      ++digits;
    } else {
      Check(c == '*' || (std::strchr("%;+^=?\r", c) != nullptr && c != '\0' && line[i] == c));
    }
  }
  Check(digits <= 20);

  msr::CardStrings card;
  msr::ProcessLine(msr::TakeLine(data, size < msr::kReceiveBufferSize ? size : msr::kReceiveBufferSize), 7, false,
                   card);
  const std::string account = msr::MaskCardString(msr::kAccountNumber, card[msr::kAccountNumber]);
  Check(account.size() == card[msr::kAccountNumber].size());
  std::size_t shown = 0;
  for (char c : account) shown += c != '*';
  Check(shown <= 10);
  for (std::size_t f = 0; f < msr::kCardStringCount; ++f) {
    if (f == msr::kAccountNumber) continue;
    const std::string text = msr::MaskCardString(static_cast<msr::CardString>(f), card[f]);
    Check(text.empty() || text.front() == '<');
    // A decoded field never shows in the masked line, unless it is made
    // only of what the masking shows anyway: structure characters, '*' and
    // digits of a shown part of an account number.
    const std::string& value = card[f];
    if (value.size() >= 3 && masked.find(value) != std::string::npos) {
      for (char c : value) Check((c >= '0' && c <= '9') || c == '*' || std::strchr("%;+^=?\r", c) != nullptr);
    }
  }
  return 0;
}
