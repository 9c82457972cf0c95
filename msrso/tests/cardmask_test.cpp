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
}

TEST(CardMask, CardStringsOtherThanTheAccountNumberShowOnlyTheirLength) {
  EXPECT_EQ(MaskCardString(kAccountNumber, "4111111111111111"), "411111******1111");
  EXPECT_EQ(MaskCardString(kSurname, "DOE"), "<3 characters>");
  EXPECT_EQ(MaskCardString(kTrack2Data, ";4111111111111111=2512?"), "<23 characters>");
  EXPECT_EQ(MaskCardString(kExpirationDate, ""), "");
}

}  // namespace
}  // namespace msr
