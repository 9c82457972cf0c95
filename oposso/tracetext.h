// The service objects' field trace, its text: the levels, the file's name
// and the form of a line. Portable, tested natively; trace_win writes it.
//
// A device's key under ServiceOPOS turns the trace on with the REG_DWORD
// "TraceLevel": 0 (or no value) off, 1 every OPOS call with its arguments,
// result, ResultCode and ResultCodeExtended, and every event fired, 2 also
// the bytes on the wire (the card reader's lines, masked; the drawers' port
// reads and writes). Each line: local time with milliseconds, process id,
// thread id, the entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trace {

enum Level : int { kOff = 0, kCalls = 1, kWire = 2 };

// The level a "TraceLevel" value asks for; a value above 2 is 2.
Level LevelFrom(std::optional<std::uint32_t> value);

// At this size the file is renamed to "<device>.1.log" (replacing an older
// one) and a new one begun, so a device's trace never exceeds twice it.
inline constexpr std::uint64_t kRotateBytes = 1u << 20;

// The file name for a device: "<device>.log", and its previous one
// "<device>.1.log". Characters a file name cannot hold become '_'.
std::string FileName(std::string_view device);
std::string PreviousFileName(std::string_view device);

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};

// "2026-12-09 20:31:05.123 pid 1234 tid 5678 <entry>\r\n"
std::string Line(const LocalTime& time, std::uint32_t pid, std::uint32_t tid, std::string_view entry);

// What the trace shows of text it does not show: "<12 characters>".
std::string Length(std::size_t characters);

// Text from the application or a device, safe on one trace line: quoted,
// with a quote, a backslash and every byte outside printable ASCII escaped.
std::string Quoted(std::string_view text);

}  // namespace trace
