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

// A line as the reader sent it, one character for each byte: the start
// sentinels, field separators and end sentinel as they are, the account
// number of track 1 (after "%x") and of track 2 (after ';') masked as
// above, and every other byte '*'.
std::string MaskLine(std::string_view line);

// A card string property as it may be traced: the account number masked,
// any other card string only by its length ("<16 characters>").
std::string MaskCardString(CardString which, std::string_view value);

}  // namespace msr
