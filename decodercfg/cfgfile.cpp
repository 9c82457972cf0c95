#include "cfgfile.h"

#include <charconv>
#include <optional>
#include <vector>

namespace q5r {

namespace {

// Splits into lines ending in CR LF, a lone CR or a lone LF. A last line
// without a terminator still counts; an empty tail after the last one does not.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A number line: blanks removed, an optional minus sign, decimal digits.
// Anything else (letters, an empty line, overflow) is not a number.
std::optional<long> ParseNumber(std::string_view line) {
  std::string digits;
  for (char c : line) {
    if (c != ' ') digits.push_back(c);
  }
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  long value = 0;
  const char* first = digits.data();
  const char* last = digits.data() + digits.size();
  auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

void ReadLinkField(std::string_view line, std::int16_t& field) {
  if (auto v = ParseNumber(line); v && *v >= INT16_MIN && *v <= INT16_MAX) {
    field = static_cast<std::int16_t>(*v);
  }
}

}  // namespace

std::string FormatNumberLine(int value) {
  std::string digits = std::to_string(value < 0 ? -static_cast<long long>(value) : value);
  return (value < 0 ? "-" : " ") + digits + " ";
}

std::string FormatConfigFile(const FileInfo& info, const ImageBytes& image) {
  std::string out;
  auto line = [&out](std::string_view text) {
    out.append(text);
    out.append("\r\n");
  };
  line(kConfigMagic);
  line(info.deviceName);
  line(info.userName);
  line(info.buildingDate);
  line(info.description);
  line(FormatNumberLine(info.linkPort));
  line(FormatNumberLine(info.linkMode));
  for (std::uint8_t b : image) line(FormatNumberLine(b));
  return out;
}

ParseResult ParseConfigFile(std::string_view contents, FileInfo& info, ConfigImage& image) {
  const std::vector<std::string_view> lines = SplitLines(contents);
  if (lines.empty() || lines[0] != kConfigMagic) return ParseResult::kNotConfigFile;

  std::string* texts[] = {&info.deviceName, &info.userName, &info.buildingDate,
                          &info.description};
  std::size_t n = 1;
  for (std::string* text : texts) {
    if (n < lines.size()) *text = std::string(lines[n]);
    ++n;
  }
  if (n < lines.size()) ReadLinkField(lines[n], info.linkPort);
  ++n;
  if (n < lines.size()) ReadLinkField(lines[n], info.linkMode);
  ++n;
  for (std::size_t index = 0; index < kImageSize && n < lines.size(); ++index, ++n) {
    if (auto v = ParseNumber(lines[n]); v && *v >= 0 && *v <= 255) {
      image.SetByte(index, static_cast<std::uint8_t>(*v));
    }
  }
  image.TakeSnapshot();
  return ParseResult::kOk;
}

}  // namespace q5r
