#include "tracetext.h"

#include <cstdio>

namespace trace {

Level LevelFrom(std::optional<std::uint32_t> value) {
  if (!value || *value == 0) return kOff;
  return *value == 1 ? kCalls : kWire;
}

namespace {

// Whether Windows takes a file name for a device: "CON", "NUL", "COM1",
// "LPT¹" and the rest, in any letter case and with any extension or
// trailing blanks ("nul.txt", "COM1 .log").
bool IsReservedName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  for (const char* reserved : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (base == reserved) return true;
  }
  if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
  const std::string_view number = std::string_view(base).substr(3);
  // COM0-COM9, LPT0-LPT9 and the superscript digits one to three.
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

std::string SafeName(std::string_view device) {
  std::string name;
  for (char c : device) {
    const bool bad = static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' ||
                     c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
    name += bad ? '_' : c;
  }
  // Names a folder would refuse or hide: none, dots only, a trailing dot or blank.
  if (name.empty() || name.find_first_not_of('.') == std::string::npos) name = "device" + name;
  if (name.back() == '.' || name.back() == ' ') name += '_';
  // A device's name must not make the file name of a device.
  if (IsReservedName(name)) name = "_" + name;
  return name;
}

}  // namespace

std::string FileName(std::string_view device) { return SafeName(device) + ".log"; }
std::string PreviousFileName(std::string_view device) { return SafeName(device) + ".1.log"; }

std::string Line(const LocalTime& t, std::uint32_t pid, std::uint32_t tid, std::string_view entry) {
  char head[80];
  std::snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d.%03d pid %u tid %u ", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond, static_cast<unsigned>(pid), static_cast<unsigned>(tid));
  std::string line = head;
  line.append(entry);
  line += "\r\n";
  return line;
}

std::string Length(std::size_t characters) {
  char text[40];
  std::snprintf(text, sizeof text, "<%zu characters>", characters);
  return text;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte > 0x7E) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace trace
