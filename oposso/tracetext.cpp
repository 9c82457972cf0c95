#include "tracetext.h"

#include <cstdio>

namespace trace {

Level LevelFrom(std::optional<std::uint32_t> value) {
  if (!value || *value == 0) return kOff;
  return *value == 1 ? kCalls : kWire;
}

namespace {

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
