#include "cardmask.h"

#include <gtest/gtest.h>

namespace msr {
namespace {

TEST(CardMask, AccountNumbersShowAtMostTheirFirstSixAndLastFour) {
  EXPECT_EQ(MaskAccountNumber("4111111111111111"), "411111******1111");
  EXPECT_EQ(MaskAccountNumber("3712345678901234567"), "371234*********4567");
  EXPECT_EQ(MaskAccountNumber("4222222222222"), "422222***2222");
  // Shorter than any payment card's: the last four at most.
  EXPECT_EQ(MaskAccountNumber("0123456789"), "******6789");
  EXPECT_EQ(MaskAccountNumber("1234567"), "*******");
  EXPECT_EQ(MaskAccountNumber(""), "");
}

// The line keeps its shape; names, dates, service codes and discretionary
// data are gone, and so are the middle digits of the account numbers.
TEST(CardMask, ALineShowsItsShapeAndTheMaskedAccountNumbersOnly) {
  const std::string line = "%B4111111111111111^DOE/JOHN Q.DR^2512101ABC?;4111111111111111=25121010000?+99?\r";
  const std::string masked = MaskLine(line);
  EXPECT_EQ(masked,
            "%*411111******1111^*************^**********?;411111******1111=***********?+**?\r");
  EXPECT_EQ(masked.size(), line.size());
  for (const char* secret : {"DOE", "JOHN", "2512", "101", "ABC", "0000", "99", "4111111111111111"}) {
    EXPECT_EQ(masked.find(secret), std::string::npos) << secret;
  }
  // No sentinel where the account number would start: nothing shows.
  EXPECT_EQ(MaskLine("B4111111111111111^X"), "*****************^*");
  // An LRC byte or any other byte is '*'.
  EXPECT_EQ(MaskLine(std::string(";12?\x07", 5)), ";**?*");
  // Track 1 without its format code: the number starts after the sentinel.
  EXPECT_EQ(MaskLine("%4123451111119876^X?"), "%412345******9876^*?");
}

// A line cut short (or a piece of one) shows no digit of a number that its
// separator does not close: the pieces of one swipe never add up to more
// than the first six and last four digits.
TEST(CardMask, ANumberCutShortShowsNoDigit) {
  EXPECT_EQ(MaskLine("%B4111112345"), "%***********");
  EXPECT_EQ(MaskLine(";41111111111111"), ";**************");
  EXPECT_EQ(MaskLine(";4111111111111;"), ";*************;");
  EXPECT_EQ(MaskLine("%B4111111111111111\r"), "%" + std::string(17, '*') + "\r");
  const std::string whole = ";4123451111119876=3012?\r";
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    const std::string shown = MaskLine(whole.substr(0, cut)) + MaskLine(whole.substr(cut));
    for (std::size_t i = 7; i < 13; ++i) EXPECT_EQ(shown[i], '*') << cut;
  }
}

TEST(CardMask, CardStringsShowTheAccountNumberOnlyWhereItsTrackHoldsItWhole) {
  CardStrings card;
  ProcessLine("%B4111111111111111^DOE/JOHN^3012101?", kTrack1 | kTrack2, false, card);
  EXPECT_EQ(MaskCardString(card, kAccountNumber), "411111******1111");
  EXPECT_EQ(MaskCardString(card, kSurname), "<3 characters>");
  EXPECT_EQ(MaskCardString(card, kTrack1Data), "<36 characters>");
  EXPECT_EQ(MaskCardString(card, kExpirationDate), "<4 characters>");
  EXPECT_EQ(MaskCardString(card, kTrack2Data), "");
  // Cut before its separator, or read without the format code (the decoder
  // then drops the number's first digit): no digit shows.
  ProcessLine(";41111111111111", kTrack2, false, card);
  EXPECT_EQ(card[kAccountNumber], "41111111111111");
  EXPECT_EQ(MaskCardString(card, kAccountNumber), "**************");
  ProcessLine("%4111111111111111^DOE^3012?", kTrack1, false, card);
  EXPECT_EQ(MaskCardString(card, kAccountNumber), "***************");
}

}  // namespace
}  // namespace msr
