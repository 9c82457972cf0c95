#include "cardline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace msr {
namespace {

CardStrings Process(std::string_view line, long tracks, bool lrc = false, LineResult expect = LineResult::kData) {
  CardStrings card;
  card.fill("stale");
  EXPECT_EQ(ProcessLine(line, tracks, lrc, card), expect) << line;
  return card;
}

TEST(CardLineTest, DecodesTrack1WithFullName) {
  const std::string line = "%B0123456789^DOE/JOHN Q.DR^2512101ABC?";
  const CardStrings c = Process(line, kTrack1);
  EXPECT_EQ(c[kAccountNumber], "0123456789");
  EXPECT_EQ(c[kSurname], "DOE");
  EXPECT_EQ(c[kFirstName], "JOHN");
  EXPECT_EQ(c[kMiddleInitial], "Q");
  EXPECT_EQ(c[kTitle], "DR");
  EXPECT_EQ(c[kExpirationDate], "2512");
  EXPECT_EQ(c[kServiceCode], "101");
  EXPECT_EQ(c[kTrack1DiscretionaryData], "ABC");
  EXPECT_EQ(c[kTrack1Data], line);
  EXPECT_EQ(c[kTrack2Data], "");
  EXPECT_EQ(c[kSuffix], "");
}

TEST(CardLineTest, DecodesTrack2) {
  const CardStrings c = Process(";0123456789=25121010000?", kTrack2);
  EXPECT_EQ(c[kAccountNumber], "0123456789");
  EXPECT_EQ(c[kExpirationDate], "2512");
  EXPECT_EQ(c[kServiceCode], "101");
  EXPECT_EQ(c[kTrack2DiscretionaryData], "0000");
  EXPECT_EQ(c[kTrack2Data], ";0123456789=25121010000?");
  EXPECT_EQ(c[kSurname], "");
}

TEST(CardLineTest, AppendsLrcBytes) {
  EXPECT_EQ(Track2Lrc(";12?"), 0x07);
  EXPECT_EQ(Track1Lrc("%B1?"), 0x29);
  EXPECT_EQ(Process(";12?", kTrack2, true)[kTrack2Data], std::string(";12?\x07"));
  EXPECT_EQ(Process("%B1?", kTrack1, true)[kTrack1Data], std::string("%B1?\x29"));
  // Without the flag nothing is appended.
  EXPECT_EQ(Process(";12?", kTrack2, false)[kTrack2Data], ";12?");
  // A requested track 1 shorter than 3 characters stops the LRC step for
  // both tracks.
  EXPECT_EQ(Process(";12?", kTrack1 | kTrack2, true)[kTrack2Data], ";12?");
  // Both tracks readable: each gets its own byte.
  const CardStrings both = Process("%B1?;12?", kTrack1 | kTrack2, true);
  EXPECT_EQ(both[kTrack1Data], std::string("%B1?;12?") + static_cast<char>(Track1Lrc("%B1?;12?")));
  EXPECT_EQ(both[kTrack2Data], std::string(";12?\x07"));
}

TEST(CardLineTest, Track3AloneIsAnError) {
  const CardStrings c = Process("+0123456789?", kTrack1 | kTrack2 | kTrack3, false, LineResult::kError);
  EXPECT_EQ(c[kTrack3Data], "+0123456789?");
  EXPECT_EQ(c[kTrack1Data], "");
  EXPECT_EQ(c[kAccountNumber], "");  // emptied, not left from before
  Process("", kTrack1 | kTrack2, false, LineResult::kError);
  Process("%B", kTrack1 | kTrack2, false, LineResult::kError);
  // A track that was not requested does not count.
  Process(";0123456789=2512?", kTrack1, false, LineResult::kError);
}

TEST(CardLineTest, LaterTracksStayInEarlierTrackData) {
  const std::string t1 = "%B1234567890123445^PADILLA/L.                ^99011200000000000000**XXX******?";
  const std::string t2 = ";1234567890123445=99011200XXXX00000000?";
  const std::string t3 = "+0123456789012345678901234567890?";
  const CardStrings c = Process(t1 + t2 + t3, kTrack1 | kTrack2 | kTrack3);
  EXPECT_EQ(c[kTrack1Data], t1 + t2 + t3);
  EXPECT_EQ(c[kTrack2Data], t2 + t3);
  EXPECT_EQ(c[kTrack3Data], t3);
  EXPECT_EQ(c[kAccountNumber], "1234567890123445");
  EXPECT_EQ(c[kSurname], "PADILLA");
  EXPECT_EQ(c[kFirstName], "L");
  EXPECT_EQ(c[kMiddleInitial], "");
  EXPECT_EQ(c[kTitle], "");
  EXPECT_EQ(c[kExpirationDate], "9901");
  EXPECT_EQ(c[kServiceCode], "120");
  EXPECT_EQ(c[kTrack1DiscretionaryData], "0000000000000**XXX******");
  EXPECT_EQ(c[kTrack2DiscretionaryData], "0XXXX00000000");
}

TEST(CardLineTest, PublicTestCards) {
  // Published test card numbers with made-up names and dates.
  const CardStrings visa = Process("%B4111111111111111^SMITH/JANE M^3012201123456789?;4111111111111111=30122011234567890?",
                                   kTrack1 | kTrack2);
  EXPECT_EQ(visa[kAccountNumber], "4111111111111111");
  EXPECT_EQ(visa[kSurname], "SMITH");
  EXPECT_EQ(visa[kFirstName], "JANE");
  EXPECT_EQ(visa[kMiddleInitial], "M");
  EXPECT_EQ(visa[kExpirationDate], "3012");
  EXPECT_EQ(visa[kServiceCode], "201");
  EXPECT_EQ(visa[kTrack1DiscretionaryData], "123456789");
  EXPECT_EQ(visa[kTrack2DiscretionaryData], "1234567890");

  const CardStrings mc = Process(";5555555555554444=2905101?", kTrack1 | kTrack2);
  EXPECT_EQ(mc[kAccountNumber], "5555555555554444");
  EXPECT_EQ(mc[kExpirationDate], "2905");
  EXPECT_EQ(mc[kServiceCode], "101");
  EXPECT_EQ(mc[kTrack2DiscretionaryData], "");
  EXPECT_EQ(mc[kSurname], "");
}

TEST(CardLineTest, AbsentFieldsAreSkipped) {
  // '=' in place of the date and of the service code.
  CardStrings c = Process(";4000000000000002===99?", kTrack2);
  EXPECT_EQ(c[kExpirationDate], "");
  EXPECT_EQ(c[kServiceCode], "");
  EXPECT_EQ(c[kTrack2DiscretionaryData], "99");
  // '?' right after the separator: nothing follows.
  c = Process(";4000000000000002=?", kTrack2);
  EXPECT_EQ(c[kAccountNumber], "4000000000000002");
  EXPECT_EQ(c[kExpirationDate], "");
  // Track 1 ends after the name: the date from track 2 stays.
  c = Process("%B4000000000000002^DOE/ANN^?;4000000000000002=2712101?", kTrack1 | kTrack2);
  EXPECT_EQ(c[kSurname], "DOE");
  EXPECT_EQ(c[kFirstName], "ANN");
  EXPECT_EQ(c[kExpirationDate], "2712");
  EXPECT_EQ(c[kServiceCode], "101");
  // A surname ended by '?' is no surname.
  c = Process("%B4000000000000002^DOE?", kTrack1);
  EXPECT_EQ(c[kSurname], "");
  // Cut short in the middle of the date: what is there, nothing beyond.
  c = Process(";40000=25", kTrack2);
  EXPECT_EQ(c[kExpirationDate], "25");
  EXPECT_EQ(c[kServiceCode], "");
}

TEST(CardLineTest, MiddleInitialSearch) {
  EXPECT_EQ(Process("%B1^DOE/JOHN  x Q^2512?", kTrack1)[kMiddleInitial], "Q");
  EXPECT_EQ(Process("%B1^DOE/JOHN .Q^2512?", kTrack1)[kMiddleInitial], "");
  EXPECT_EQ(Process("%B1^DOE/JOHN.Q^2512?", kTrack1)[kMiddleInitial], "");
  EXPECT_EQ(Process("%B1^DOE/JOHN^Q^2512?", kTrack1)[kMiddleInitial], "");
  EXPECT_EQ(Process("%B1^DOE/JOHN x^Q2512?", kTrack1)[kMiddleInitial], "");
  EXPECT_EQ(Process("%B1^DOE/JOHN ", kTrack1)[kMiddleInitial], "");
}

TEST(CardLineTest, TakeLineStopsAtCrAndAtTheCount) {
  const std::uint8_t bytes[] = {'%', 'B', '1', '?', 0x0D, ';', '1', 0x0D};
  EXPECT_EQ(TakeLine(bytes, sizeof bytes), "%B1?");
  EXPECT_EQ(TakeLine(bytes, 3), "%B1");  // no CR within the count: all of it
  EXPECT_EQ(TakeLine(bytes, 0), "");
  EXPECT_EQ(TakeLine(nullptr, 5), "");
  // Bytes beyond the count are never looked at, even without a CR.
  std::uint8_t buffer[kReceiveBufferSize];
  std::memset(buffer, 'A', sizeof buffer);
  EXPECT_EQ(TakeLine(buffer, 10).size(), 10u);
  EXPECT_EQ(TakeLine(buffer, sizeof buffer).size(), sizeof buffer);
}

TEST(CardLineTest, CardStringTableFollowsTheEnum) {
  for (std::size_t i = 0; i < kCardStringCount; ++i) {
    EXPECT_EQ(kCardStringTable[i].index, kFirstCardStringIndex + static_cast<long>(i));
  }
  EXPECT_STREQ(kCardStringTable[kTrack3Data].name, "Track3Data");
}

}  // namespace
}  // namespace msr
