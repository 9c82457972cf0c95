// Feeds arbitrary received bytes to the line processing: the first byte
// picks TracksToRead and the LRC flag, the rest is the receive buffer. The
// results must stay inside the line: every track is a tail of the line
// (plus at most its LRC byte) and every decoded field a piece of a track.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cardline.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool InTrack(const std::string& field, const std::string& a, const std::string& b) {
  return field.empty() || a.find(field) != std::string::npos || b.find(field) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const long tracks = data[0] & 7;
  const bool lrc = (data[0] & 8) != 0;
  const std::size_t count = size - 1 < msr::kReceiveBufferSize ? size - 1 : msr::kReceiveBufferSize;
  const std::string_view line = msr::TakeLine(data + 1, count);
  Check(line.size() <= count && line.find('\r') == std::string_view::npos);

  msr::CardStrings card;
  const msr::LineResult result = msr::ProcessLine(line, tracks, lrc, card);
  const std::string& t1 = card[msr::kTrack1Data];
  const std::string& t2 = card[msr::kTrack2Data];
  const std::string& t3 = card[msr::kTrack3Data];
  Check(t3.empty() || (line.size() >= t3.size() && line.substr(line.size() - t3.size()) == t3));
  Check((result == msr::LineResult::kError) == (t1.size() < 3 && t2.size() < 3));
  for (const std::string* t : {&t1, &t2}) {
    if (t->empty()) continue;
    const std::size_t body = line.find((*t)[0]) == std::string_view::npos ? 0 : line.size() - line.find((*t)[0]);
    Check(t->size() == body || (lrc && t->size() == body + 1));
  }
  Check(card[msr::kSuffix].empty());
  Check(card[msr::kMiddleInitial].size() <= 1);
  for (const msr::CardString f : {msr::kAccountNumber, msr::kExpirationDate, msr::kServiceCode, msr::kFirstName,
                                  msr::kSurname, msr::kTitle, msr::kTrack1DiscretionaryData,
                                  msr::kTrack2DiscretionaryData}) {
    Check(InTrack(card[f], t1, t2));
  }
  Check(card[msr::kExpirationDate].size() <= 4 && card[msr::kServiceCode].size() <= 3);
  return 0;
}
