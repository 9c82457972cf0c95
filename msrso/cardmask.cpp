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

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The separators that close a track's account number field.
const char* Closers(char sentinel) { return sentinel == '%' ? "^?" : "=?"; }

}  // namespace

AccountField FindAccountField(std::string_view line, std::size_t sentinel) {
  if (sentinel >= line.size() || (line[sentinel] != '%' && line[sentinel] != ';')) return {};
  std::size_t end = sentinel + 1;
  while (end < line.size() && !IsStructure(line[end])) ++end;
  // Not closed by its separator: a line cut short, or no card's.
  if (end == line.size() || std::string_view(Closers(line[sentinel])).find(line[end]) == std::string_view::npos) {
    return {};
  }
  std::size_t begin = sentinel + 1;
  // Track 1's format code, where there is one.
  if (line[sentinel] == '%' && begin < end && !IsDigit(line[begin])) ++begin;
  return {true, begin, end};
}

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
  for (const char sentinel : {'%', ';'}) {
    const AccountField field = FindAccountField(line, line.find(sentinel));
    if (!field.closed) continue;
    const std::string masked = MaskAccountNumber(line.substr(field.begin, field.end - field.begin));
    for (std::size_t i = 0; i < masked.size(); ++i) {
      // Only digits show; anything else in the field stays '*'.
      if (IsDigit(masked[i])) out[field.begin + i] = masked[i];
    }
  }
  return out;
}

std::string MaskCardString(const CardStrings& card, CardString which) {
  const std::string& value = card[which];
  if (which == kAccountNumber) {
    // Shown masked only when it is the whole number of a track that holds
    // it closed by its separator: never the middle of a number cut short.
    for (const CardString track : {kTrack1Data, kTrack2Data}) {
      const std::string& data = card[track];
      const AccountField field = FindAccountField(data, 0);
      if (field.closed && std::string_view(data).substr(field.begin, field.end - field.begin) == value) {
        return MaskAccountNumber(value);
      }
    }
    return std::string(value.size(), '*');
  }
  if (value.empty()) return {};
  char text[40];
  std::snprintf(text, sizeof text, "<%zu characters>", value.size());
  return text;
}

}  // namespace msr
