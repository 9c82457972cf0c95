#include "cardmask.h"

#include <cstdio>

namespace msr {

namespace {

bool IsStructure(char c) {
  switch (c) {
    case '%': case ';': case '+': case '^': case '=': case '?': case '\r': return true;
    default: return false;
  }
}

}  // namespace

std::string MaskAccountNumber(std::string_view number) {
  std::string masked(number.size(), '*');
  const std::size_t n = number.size();
  const std::size_t head = n >= 13 ? 6 : 0;
  const std::size_t tail = n >= 8 ? 4 : 0;
  for (std::size_t i = 0; i < head; ++i) masked[i] = number[i];
  for (std::size_t i = n - tail; i < n; ++i) masked[i] = number[i];
  return masked;
}

std::string MaskLine(std::string_view line) {
  std::string out(line.size(), '*');
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (IsStructure(line[i])) out[i] = line[i];
  }
  // The account numbers: track 1 from after its sentinel and format code to
  // the first '^' or '?', track 2 from after its sentinel to '=' or '?'.
  const auto account = [&](std::size_t start, const char* stops) {
    if (start >= line.size()) return;
    std::size_t end = line.find_first_of(stops, start);
    if (end == std::string_view::npos) end = line.size();
    const std::string masked = MaskAccountNumber(line.substr(start, end - start));
    for (std::size_t i = 0; i < masked.size(); ++i) {
      // Only digits show; anything else in the field stays '*'.
      const char c = masked[i];
      if (c >= '0' && c <= '9') out[start + i] = c;
    }
  };
  if (const std::size_t t1 = line.find('%'); t1 != std::string_view::npos) account(t1 + 2, "^?\r");
  if (const std::size_t t2 = line.find(';'); t2 != std::string_view::npos) account(t2 + 1, "=?\r");
  return out;
}

std::string MaskCardString(CardString which, std::string_view value) {
  if (which == kAccountNumber) return MaskAccountNumber(value);
  if (value.empty()) return {};
  char text[40];
  std::snprintf(text, sizeof text, "<%zu characters>", value.size());
  return text;
}

}  // namespace msr
