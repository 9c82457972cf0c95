#include "cardline.h"

#include <algorithm>

namespace msr {

const std::array<CardStringInfo, kCardStringCount> kCardStringTable = {{
    {1007001, "AccountNumber"},
    {1007002, "ExpirationDate"},
    {1007003, "FirstName"},
    {1007004, "MiddleInitial"},
    {1007005, "ServiceCode"},
    {1007006, "Suffix"},
    {1007007, "Surname"},
    {1007008, "Title"},
    {1007009, "Track1Data"},
    {1007010, "Track1DiscretionaryData"},
    {1007011, "Track2Data"},
    {1007012, "Track2DiscretionaryData"},
    {1007013, "Track3Data"},
}};

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Characters from `from` up to (not including) the first of `stops`, or to
// the end. `end` receives the position of the stopping character (or npos).
std::string_view Until(std::string_view s, std::size_t from, std::string_view stops, std::size_t* end = nullptr) {
  if (from >= s.size()) {
    if (end) *end = npos;
    return {};
  }
  const std::size_t stop = s.find_first_of(stops, from);
  if (end) *end = stop;
  return s.substr(from, stop == npos ? npos : stop - from);
}

// Up to `count` characters at `pos` (fewer at the end of the string).
std::string_view Take(std::string_view s, std::size_t pos, std::size_t count) {
  return pos >= s.size() ? std::string_view{} : s.substr(pos, count);
}

// The expiration date, service code and discretionary data that follow the
// field separator `sep` (track 2 '=', track 1 '^') at `pos`. A separator in
// place of a field means the field is absent; '?' ends the track.
void DecodeTail(std::string_view s, std::size_t pos, char sep, std::string& expiration, std::string& service,
                std::string& discretionary) {
  if (pos >= s.size() || s[pos] == '?') return;
  if (s[pos] == sep) {
    ++pos;
  } else {
    expiration = Take(s, pos, 4);
    pos += 4;
  }
  if (pos >= s.size() || s[pos] == '?') return;
  if (s[pos] == sep) {
    ++pos;
  } else {
    service = Take(s, pos, 3);
    pos += 3;
  }
  discretionary = Until(s, pos, "?");
}

void DecodeTrack2(std::string_view s, CardStrings& card) {
  card[kAccountNumber] = Until(s, 1, "=?");
  const std::size_t sep = s.find('=');
  if (sep == npos) return;
  DecodeTail(s, sep + 1, '=', card[kExpirationDate], card[kServiceCode], card[kTrack2DiscretionaryData]);
}

void DecodeTrack1(std::string_view s, CardStrings& card) {
  // Track 1 values replace track 2's where track 1 has them.
  const std::string_view account = Until(s, 2, "^?");
  if (!account.empty()) card[kAccountNumber] = account;

  const std::size_t caret = s.find('^');
  if (caret != npos) {
    std::size_t end = npos;
    const std::string_view surname = Until(s, caret + 1, "^/.?", &end);
    card[kSurname] = (end != npos && s[end] == '?') ? std::string_view{} : surname;
  }
  const std::size_t slash = s.find('/');
  if (slash != npos) {
    std::size_t pos = npos;
    card[kFirstName] = Until(s, slash + 1, "^. ", &pos);
    if (pos != npos && s[pos] != '^') {
      while (pos < s.size() && s[pos] != '.') {
        if (++pos >= s.size()) break;
        const char c = s[pos];
        if (c >= 'A' && c <= 'Z') {
          card[kMiddleInitial] = std::string(1, c);
          break;
        }
        if (c == '^') break;
      }
    }
  }
  const std::size_t dot = s.find('.');
  if (dot != npos) card[kTitle] = Until(s, dot + 1, "^ ");

  if (caret == npos) return;
  const std::size_t second = s.find('^', caret + 1);
  if (second == npos) return;
  std::string expiration, service, discretionary;
  DecodeTail(s, second + 1, '^', expiration, service, discretionary);
  if (!expiration.empty()) card[kExpirationDate] = expiration;
  if (!service.empty()) card[kServiceCode] = service;
  card[kTrack1DiscretionaryData] = discretionary;
}

std::uint8_t Lrc(std::string_view track, std::uint8_t offset) {
  std::uint8_t lrc = 0;
  for (const char c : track) lrc ^= static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) - offset);
  return lrc;
}

}  // namespace

std::string_view TakeLine(const std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return {};
  const std::uint8_t* end = std::find(bytes, bytes + count, std::uint8_t{0x0D});
  return {reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(end - bytes)};
}

std::uint8_t Track1Lrc(std::string_view track) { return Lrc(track, 0x20); }
std::uint8_t Track2Lrc(std::string_view track) { return Lrc(track, 0x30); }

LineResult ProcessLine(std::string_view line, long tracksToRead, bool includeLrc, CardStrings& card) {
  for (std::string& s : card) s.clear();
  static constexpr struct {
    long bit;
    char sentinel;
    CardString data;
  } kTracks[] = {{kTrack1, '%', kTrack1Data}, {kTrack2, ';', kTrack2Data}, {kTrack3, '+', kTrack3Data}};
  for (const auto& t : kTracks) {
    if ((tracksToRead & t.bit) == 0) continue;
    const std::size_t at = line.find(t.sentinel);
    if (at != npos) card[t.data] = line.substr(at);
  }
  std::string& track1 = card[kTrack1Data];
  std::string& track2 = card[kTrack2Data];
  if (track1.size() < 3 && track2.size() < 3) return LineResult::kError;

  if (includeLrc) {
    // A requested track 1 too short for an LRC stops the step for both.
    const bool track1Stops = (tracksToRead & kTrack1) != 0 && track1.size() < 3;
    if (!track1Stops) {
      if (track1.size() >= 3) track1.push_back(static_cast<char>(Track1Lrc(track1)));
      if (track2.size() >= 3) track2.push_back(static_cast<char>(Track2Lrc(track2)));
    }
  }
  if (track2.size() > 3) DecodeTrack2(track2, card);
  if (track1.size() > 3) DecodeTrack1(track1, card);
  return LineResult::kData;
}

}  // namespace msr
