// Feeds arbitrary received bytes, and both pieces of them cut at a point the
// input chooses, to the trace's masking of a card line and of the card
// strings decoded from it. Whatever a piece holds, its masked form has its
// length and shows nothing but the structure characters, '*' and digits
// that stand where the piece has them; and every digit it shows is one of
// the first six or last four of an account number whose field the piece
// holds whole, from its start sentinel to the separator that closes it. So
// however a swipe is cut, its pieces together never show more of a number
// than the whole line does. The account number property shows likewise,
// and no other decoded field shows in the masked line.
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

bool IsStructure(char c) { return c != '\0' && std::strchr("%;+^=?\r", c) != nullptr; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the digit at `p` of `line` may show: inside a field that a '%' or
// ';' opens and its own separator closes, with nothing of the structure in
// between, among its number's first six (a number of 13 digits or more) or
// last four (8 or more).
bool MayShow(std::string_view line, std::size_t p) {
  std::size_t s = p, e = p;
  while (s > 0 && !IsStructure(line[s - 1])) --s;
  while (e < line.size() && !IsStructure(line[e])) ++e;
  if (s == 0 || e == line.size()) return false;
  const char sentinel = line[s - 1];
  if (sentinel == '%') {
    if (line[e] != '^' && line[e] != '?') return false;
    if (!IsDigit(line[s])) ++s;  // the format code
  } else if (sentinel == ';') {
    if (line[e] != '=' && line[e] != '?') return false;
  } else {
    return false;
  }
  if (p < s) return false;
  const std::size_t n = e - s;
  return (p - s < 6 && n >= 13) || (e - p <= 4 && n >= 8);
}

void CheckMaskedLine(std::string_view line) {
  const std::string masked = msr::MaskLine(line);
  Check(masked.size() == line.size());
  std::size_t digits = 0;
  for (std::size_t i = 0; i < masked.size(); ++i) {
    const char c = masked[i];
    if (IsDigit(c)) {
      Check(line[i] == c);
      Check(MayShow(line, i));
      ++digits;
    } else {
      Check(c == '*' || (IsStructure(c) && line[i] == c));
    }
  }
  Check(digits <= 20);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  CheckMaskedLine(line);
  const std::size_t cut = size ? data[0] % (size + 1) : 0;
  CheckMaskedLine(line.substr(0, cut));
  CheckMaskedLine(line.substr(cut));
  const std::string masked = msr::MaskLine(line);

  msr::CardStrings card;
  msr::ProcessLine(msr::TakeLine(data, size < msr::kReceiveBufferSize ? size : msr::kReceiveBufferSize), 7, false,
                   card);
  const std::string& number = card[msr::kAccountNumber];
  const std::string account = msr::MaskCardString(card, msr::kAccountNumber);
  Check(account.size() == number.size());
  std::size_t shown = 0;
  for (char c : account) shown += c != '*';
  Check(shown <= 10);
  if (shown > 0) Check(account == msr::MaskAccountNumber(number));
  for (std::size_t f = 0; f < msr::kCardStringCount; ++f) {
    if (f == msr::kAccountNumber) continue;
    const std::string text = msr::MaskCardString(card, static_cast<msr::CardString>(f));
    Check(text.empty() || text.front() == '<');
    // A decoded field never shows in the masked line, unless it is made
    // only of what the masking shows anyway: structure characters, '*' and
    // digits of a shown part of an account number.
    const std::string& value = card[f];
    if (value.size() >= 3 && masked.find(value) != std::string::npos) {
      for (char c : value) Check(IsDigit(c) || c == '*' || IsStructure(c));
    }
  }
  return 0;
}
