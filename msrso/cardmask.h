// What of a card may appear in the kit's trace: its shape, never its data.
// The account number shows as its first six and last four digits at most,
// every other character of card data as '*'. Portable, tested natively and
// fuzzed.
#pragma once

#include <string>
#include <string_view>

#include "cardline.h"

namespace msr {

// "4111111111111111" -> "411111******1111". Numbers shorter than 13 digits
// (no payment card's) keep at most their last four; fewer than 8, nothing.
std::string MaskAccountNumber(std::string_view number);

// Where a track's account number stands in `line`, for the track whose
// start sentinel ('%' track 1, ';' track 2) is at `sentinel`: after the
// sentinel (and track 1's format code, a letter) up to the separator that
// closes it ('^' or '?' on track 1, '=' or '?' on track 2). Not `closed`
// when another structure character or the end of the line comes first: a
// number cut short is never taken for a whole one.
struct AccountField {
  bool closed = false;
  std::size_t begin = 0, end = 0;  // [begin, end) in the line
};
AccountField FindAccountField(std::string_view line, std::size_t sentinel);

// A line as the reader sent it, or any piece of one, one character for
// each byte: the start sentinels, field separators and end sentinel as they
// are, the account number of track 1 and of track 2 masked as above when
// its field is closed (no digit of it otherwise), every other byte '*'.
std::string MaskLine(std::string_view line);

// A card string property as it may be traced: the account number masked as
// above when it is the closed account field of the card's track 1 or track
// 2 data, else all '*'; any other card string only by its length
// ("<16 characters>").
std::string MaskCardString(const CardStrings& card, CardString which);

}  // namespace msr
