#include "link/linksettings.h"

#include <gtest/gtest.h>

namespace q5r {
namespace {

TEST(LinkFormat, DataAndStopBitOptionsEditOnlyTheirOwnCharacters) {
  std::string format = "N,8,1 ";
  format = WithDataBits(format, 0);  // "7 Data Bits"
  format = WithStopBits(format, 1);  // "2 Stop Bit"
  EXPECT_EQ(LineSettingsText("9600", format), "9600,N,7,2 ");
  format = WithDataBits(format, 1);  // the stop bits stay
  EXPECT_EQ(format, "N,8,2 ");
  format = WithStopBits(format, 0);
  EXPECT_EQ(format, "N,8,1 ");
  // Every result keeps the field's six characters, whatever it held before.
  EXPECT_EQ(WithStopBits("N,8", 1).size(), kLinkFormatSize);
  EXPECT_EQ(WithDataBits("E,7,2 and more", 0), "N,7,2 ");
}

TEST(LinkFormat, OptionsShownFollowTheFormatCharacters) {
  EXPECT_EQ(DataBitsOption("N,7,1 "), 0);
  EXPECT_EQ(DataBitsOption("N,8,1 "), 1);
  EXPECT_EQ(StopBitsOption("N,8,1 "), 0);
  EXPECT_EQ(StopBitsOption("N,8,2 "), 1);
  EXPECT_EQ(DataBitsOption(""), 1);
  EXPECT_EQ(StopBitsOption("N,7"), 1);
}

TEST(LinkBaud, OptionIndexAndTextMapBothWays) {
  const char* texts[] = {"1200", "2400", "4800", "9600", "19200"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(BaudTextForOption(i), texts[i]);
    EXPECT_EQ(BaudOptionForText(texts[i]), i);
  }
  EXPECT_EQ(BaudTextForOption(5), "9600");
  EXPECT_EQ(BaudTextForOption(-1), "9600");
  EXPECT_EQ(BaudOptionForText("38400"), 3);
  EXPECT_EQ(BaudOptionForText(""), 3);
}

TEST(LineSettings, EveryCombinationTheOptionsMakeIsUsable) {
  for (int baud = 0; baud < 5; ++baud) {
    for (int data = 0; data < 2; ++data) {
      for (int stop = 0; stop < 2; ++stop) {
        const std::string text = LineSettingsText(BaudTextForOption(baud), WithStopBits(WithDataBits("N,8,1 ", data), stop));
        const auto line = ParseLineSettings(text);
        ASSERT_TRUE(line) << text;
        EXPECT_EQ(std::to_string(line->baud), BaudTextForOption(baud));
        EXPECT_EQ(line->parity, 'N');
        EXPECT_EQ(line->dataBits, data == 0 ? 7 : 8);
        EXPECT_EQ(line->stopBits, stop == 0 ? 1 : 2);
      }
    }
  }
}

TEST(LineSettings, MalformedStringsCannotSetUpAPort) {
  for (const char* bad : {"", "9600", "9600,", ",N,8,1 ", "abc,N,8,1 ", "0,N,8,1 ", "9600,X,8,1 ", "9600,N,9,1 ",
                          "9600,N,8,3 ", "9600,N,8,1  ", "9600;N,8,1 ", "9600,N,8,1,", "-9600,N,8,1"}) {
    EXPECT_FALSE(ParseLineSettings(bad)) << '"' << bad << '"';
  }
  EXPECT_TRUE(ParseLineSettings("19200,E,7,2"));
}

TEST(LinkPort, UnavailableMessageShowsTheNumberAsASignedDecimal) {
  EXPECT_EQ(PortUnavailableMessage(2), L"COM 2: not available.");
  EXPECT_EQ(PortUnavailableMessage(6), L"COM 6: not available.");
  EXPECT_EQ(PortUnavailableMessage(-1), L"COM-1: not available.");
}

}  // namespace
}  // namespace q5r
