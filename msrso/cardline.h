// The card reader's line processing: how one received line becomes the
// OPOS card properties. Portable: no Windows headers, tested natively.
//
// A swipe arrives as ASCII text ending in CR. The bytes up to the first CR
// are the line; each requested track is cut from its start sentinel ('%'
// track 1, ';' track 2, '+' track 3) to the end of the line, optionally
// gets an LRC byte appended, and tracks 2 and 1 are decoded into account
// number, name, expiration date, service code and discretionary data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace msr {

// TracksToRead bits (the OPOS MSR_TR_* values).
inline constexpr long kTrack1 = 1;
inline constexpr long kTrack2 = 2;
inline constexpr long kTrack3 = 4;

// The 13 card strings, in the order of their property indices
// (kFirstCardStringIndex + position).
enum CardString : std::size_t {
  kAccountNumber,
  kExpirationDate,
  kFirstName,
  kMiddleInitial,
  kServiceCode,
  kSuffix,
  kSurname,
  kTitle,
  kTrack1Data,
  kTrack1DiscretionaryData,
  kTrack2Data,
  kTrack2DiscretionaryData,
  kTrack3Data,
  kCardStringCount
};
inline constexpr long kFirstCardStringIndex = 1007001;

using CardStrings = std::array<std::string, kCardStringCount>;

// The property index of each card string and its OPOS name.
struct CardStringInfo {
  long index;
  const char* name;
};
extern const std::array<CardStringInfo, kCardStringCount> kCardStringTable;

// The size of the reader's receive buffer: one read takes at most this much.
inline constexpr std::size_t kReceiveBufferSize = 256;

// The line in `count` received bytes: everything before the first CR, or
// all of them when there is none. Never looks past `count`.
std::string_view TakeLine(const std::uint8_t* bytes, std::size_t count);

enum class LineResult {
  kData,   // at least track 1 or track 2 was readable: a data event
  kError,  // neither was: an error event (OPOS_E_FAILURE)
};

// Processes one line (without its CR): empties `card`, cuts the requested
// tracks, appends the LRC bytes when `includeLrc`, decodes tracks 2 and 1.
LineResult ProcessLine(std::string_view line, long tracksToRead, bool includeLrc, CardStrings& card);

// The LRC bytes: XOR of (c - 0x20) over track 1, of (c - 0x30) over track 2.
std::uint8_t Track1Lrc(std::string_view track);
std::uint8_t Track2Lrc(std::string_view track);

}  // namespace msr
