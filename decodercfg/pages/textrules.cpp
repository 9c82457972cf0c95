#include "pages/textrules.h"

#include <cctype>

namespace q5r {

namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

std::string ControlName(int code) {
  if (code < 0 || code >= kControlCount) return {};
  std::string name(kControlNames.substr(static_cast<std::size_t>(code) * 3, 3));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

std::optional<int> ControlCode(std::string_view name) {
  if (name.size() != 2 && name.size() != 3) return std::nullopt;
  std::string cell;
  for (char c : name) cell += Upper(c);
  if (cell.size() == 2) cell += ' ';
  // The first occurrence must start a cell: "LED" inside "BELBS" is no name.
  const std::size_t at = kControlNames.find(cell);
  if (at == std::string_view::npos || at % 3 != 0) return std::nullopt;
  return static_cast<int>(at / 3);
}

std::string SlotsToText(std::span<const std::uint8_t> slots) {
  std::string text;
  for (std::uint8_t b : slots) {
    if (b == 255) break;
    if (b > 31) {
      text += static_cast<char>(b);
    } else {
      text += '{' + ControlName(b) + '}';
    }
  }
  return text;
}

void TextToSlots(std::string_view text, std::span<std::uint8_t> slots) {
  std::size_t slot = 0;
  for (std::size_t pos = 0; pos < text.size() && slot < slots.size(); ++pos) {
    auto ch = static_cast<std::uint8_t>(text[pos]);
    if (text[pos] == '{') {
      const std::size_t close = text.find('}', pos);
      // At least two characters between the braces.
      if (close != std::string_view::npos && close > pos + 2) {
        if (const auto code = ControlCode(text.substr(pos + 1, close - pos - 1))) {
          ch = static_cast<std::uint8_t>(*code);
          pos = close;
        }
      }
    }
    slots[slot++] = ch;
  }
  for (; slot < slots.size(); ++slot) slots[slot] = 255;
}

CodeIdInput ReadCodeId(std::string_view text) {
  if (text.size() >= 2) return {true, 0};
  if (text.empty()) return {false, 0};
  const auto code = static_cast<std::uint8_t>(text[0]);
  return {false, code < 32 ? std::uint8_t{0} : code};
}

std::string CodeIdText(std::uint8_t code) {
  return code == 0 ? std::string() : std::string(1, static_cast<char>(code));
}

std::optional<std::uint8_t> SeparatorByte(int chosenEntry, std::string_view text) {
  if (chosenEntry >= 0 && chosenEntry < kControlCount) return static_cast<std::uint8_t>(chosenEntry);
  if (text.empty()) return std::nullopt;
  return static_cast<std::uint8_t>(text[0]);
}

std::optional<int> ParseTruncation(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 2) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 15) return std::nullopt;
  return value;
}

wchar_t Mnemonic(std::wstring_view caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    const wchar_t c = caption[++i];
    if (c == L'&') continue;
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  }
  return 0;
}

}  // namespace q5r
