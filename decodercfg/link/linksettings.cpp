#include "link/linksettings.h"

#include <charconv>

namespace q5r {

namespace {

std::string FixedFormat(std::string_view linkFormat) {
  std::string format(linkFormat.substr(0, kLinkFormatSize));
  format.resize(kLinkFormatSize, ' ');
  return format;
}

// Character n (1-based) of the fixed six-character field.
char FormatChar(std::string_view linkFormat, std::size_t n) {
  return n <= linkFormat.size() ? linkFormat[n - 1] : ' ';
}

}  // namespace

std::string BaudTextForOption(int index) {
  // Index 3 and anything unknown give 9600, as the click handler always did.
  if (index < 0 || index >= static_cast<int>(kBaudTexts.size())) return kBaudTexts[kDefaultBaudOption];
  return kBaudTexts[static_cast<std::size_t>(index)];
}

int BaudOptionForText(std::string_view linkBaud) {
  for (std::size_t i = 0; i < kBaudTexts.size(); ++i) {
    if (linkBaud == kBaudTexts[i]) return static_cast<int>(i);
  }
  return kDefaultBaudOption;
}

std::string WithDataBits(std::string_view linkFormat, int index) {
  std::string format = FixedFormat(linkFormat);
  format.replace(0, 4, index == 0 ? "N,7," : "N,8,");
  return format;
}

std::string WithStopBits(std::string_view linkFormat, int index) {
  std::string format = FixedFormat(linkFormat);
  format[4] = index == 0 ? '1' : '2';
  return format;
}

int DataBitsOption(std::string_view linkFormat) { return FormatChar(linkFormat, 3) == '7' ? 0 : 1; }

int StopBitsOption(std::string_view linkFormat) { return FormatChar(linkFormat, 5) == '1' ? 0 : 1; }

std::string LineSettingsText(std::string_view linkBaud, std::string_view linkFormat) {
  return std::string(linkBaud) + "," + FixedFormat(linkFormat);
}

std::optional<LineSettings> ParseLineSettings(std::string_view settings) {
  if (!settings.empty() && settings.back() == ' ') settings.remove_suffix(1);
  const std::size_t comma = settings.find(',');
  if (comma == std::string_view::npos || comma == 0) return std::nullopt;
  LineSettings line;
  const char* first = settings.data();
  const char* last = settings.data() + comma;
  const auto [end, error] = std::from_chars(first, last, line.baud);
  if (error != std::errc() || end != last || line.baud == 0) return std::nullopt;

  // The rest is exactly "P,D,S".
  const std::string_view rest = settings.substr(comma + 1);
  if (rest.size() != 5 || rest[1] != ',' || rest[3] != ',') return std::nullopt;
  switch (rest[0]) {
    case 'N':
    case 'E':
    case 'O':
    case 'M':
    case 'S':
      line.parity = rest[0];
      break;
    default:
      return std::nullopt;
  }
  if (rest[2] < '4' || rest[2] > '8') return std::nullopt;
  line.dataBits = rest[2] - '0';
  if (rest[4] != '1' && rest[4] != '2') return std::nullopt;
  line.stopBits = rest[4] - '0';
  return line;
}

std::wstring PortUnavailableMessage(int port) {
  // The number as a signed decimal: a blank where a minus sign would go.
  // LinkPort comes from the configuration file and may be negative.
  return std::wstring(L"COM") + (port < 0 ? L"" : L" ") + std::to_wstring(port) + L": not available.";
}

}  // namespace q5r
