#include "cfgfile.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace q5r {
namespace {

// Default FileInfo (building date 2026-12-08) with the factory image.
const std::string kDefaultFile =
    "oxet\r\n"
    "Device Name\r\n"
    "User's Name\r\n"
    "2026-12-08\r\n"
    "Your description about this configuration file\r\n"
    " 1 \r\n"  // link port
    " 1 \r\n"  // link mode
    " 65 \r\n 66 \r\n 67 \r\n 68 \r\n 69 \r\n 70 \r\n 71 \r\n 72 \r\n"                 // 0..7
    " 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n"         // 8..15
    " 8 \r\n 0 \r\n 255 \r\n 252 \r\n 2 \r\n 255 \r\n 34 \r\n 102 \r\n 0 \r\n"          // 16..24
    " 0 \r\n 48 \r\n 226 \r\n 23 \r\n"                                                 // 25..28
    " 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n"         // 29..36
    " 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n"         // 37..44
    " 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n"         // 45..52
    " 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n"         // 53..60
    " 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n"         // 61..68
    " 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n 255 \r\n"         // 69..76
    " 37 \r\n 63 \r\n 59 \r\n 63 \r\n 43 \r\n 63 \r\n 15 \r\n 13 \r\n";                // 77..84

constexpr std::size_t kPortLine = 5, kModeLine = 6, kFirstByteLine = 7;  // 0-based

FileInfo DefaultInfo() {
  FileInfo info;
  info.buildingDate = "2026-12-08";
  return info;
}

// Something different from the defaults in every field, to see what a read
// overwrites and what it keeps.
FileInfo OtherInfo() {
  return FileInfo{"Till 4", "J. Smith", "1999-01-31", "back office", -7, 2};
}
ConfigImage OtherImage() {
  ConfigImage image;
  for (std::size_t i = 0; i < kImageSize; ++i) image.SetByte(i, static_cast<std::uint8_t>(i * 37 + 11));
  image.TakeSnapshot();
  return image;
}

auto Fields(const FileInfo& i) {
  return std::tie(i.deviceName, i.userName, i.buildingDate, i.description, i.linkPort, i.linkMode);
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}
std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

TEST(CfgFileWrite, NumberLinesHaveOneBlankOrMinusAndOneTrailingBlank) {
  EXPECT_EQ(FormatNumberLine(0), " 0 ");
  EXPECT_EQ(FormatNumberLine(65), " 65 ");
  EXPECT_EQ(FormatNumberLine(100), " 100 ");
  EXPECT_EQ(FormatNumberLine(-3), "-3 ");
  EXPECT_EQ(FormatNumberLine(-32768), "-32768 ");
  EXPECT_EQ(FormatNumberLine(INT_MIN), "-2147483648 ");
}

TEST(CfgFileWrite, DefaultFileIsByteExact) {
  const std::string text = FormatConfigFile(DefaultInfo(), ConfigImage().Bytes());
  EXPECT_EQ(text, kDefaultFile);
  EXPECT_EQ(SplitCrLf(text).size(), 92u);
}

TEST(CfgFileRead, WrongFirstLineIsRefusedAndChangesNothing) {
  const std::string body = kDefaultFile.substr(kDefaultFile.find("\r\n"));
  for (const std::string& input : {std::string(), "OXET" + body, "oxet " + body, " oxet" + body,
                                   "oxe" + body, "oxetoxet" + body, body.substr(2),
                                   std::string("\r\noxet\r\n")}) {
    FileInfo info = OtherInfo();
    ConfigImage image = OtherImage();
    image.SetByte(3, 99);  // an unsaved edit must survive the refusal
    EXPECT_EQ(ParseConfigFile(input, info, image), ParseResult::kNotConfigFile) << input;
    EXPECT_EQ(Fields(info), Fields(OtherInfo()));
    EXPECT_EQ(image.Byte(3), 99);
    EXPECT_EQ(image.Saved(), OtherImage().Bytes());
  }
}

TEST(CfgFileRead, TextsAreCarriedVerbatim) {
  const FileInfo texts{"Scanner, \"front\" desk", "", "\xE9\xFC 8.12.", "  12  ", 1, 1};
  FileInfo info = OtherInfo();
  ConfigImage image;
  ASSERT_EQ(ParseConfigFile(FormatConfigFile(texts, image.Bytes()), info, image), ParseResult::kOk);
  EXPECT_EQ(Fields(info), Fields(texts));
}

TEST(CfgFileRead, ShortFileKeepsMissingFieldsAndTakesSnapshot) {
  const std::vector<std::string> lines = SplitCrLf(kDefaultFile);
  struct Case {
    std::size_t lineCount;
    bool finalCrLf;
  };
  // Magic only (with and without CR LF), cut inside the texts, after the
  // link fields, after three image bytes, and a whole file without its last CR LF.
  for (Case c : {Case{1, true}, Case{1, false}, Case{3, true}, Case{7, true}, Case{10, true}, Case{92, false}}) {
    std::string input = JoinCrLf({lines.begin(), lines.begin() + c.lineCount});
    if (!c.finalCrLf) input.resize(input.size() - 2);
    SCOPED_TRACE(testing::Message() << c.lineCount << " lines, CR LF at end: " << c.finalCrLf);

    FileInfo info = OtherInfo();
    ConfigImage image = OtherImage();
    image.SetByte(84, 1);  // unsaved edit
    ASSERT_EQ(ParseConfigFile(input, info, image), ParseResult::kOk);

    const FileInfo oldInfo = OtherInfo(), newInfo = DefaultInfo();
    auto pick = [&](std::size_t line) { return line < c.lineCount ? newInfo : oldInfo; };
    EXPECT_EQ(info.deviceName, pick(1).deviceName);
    EXPECT_EQ(info.userName, pick(2).userName);
    EXPECT_EQ(info.buildingDate, pick(3).buildingDate);
    EXPECT_EQ(info.description, pick(4).description);
    EXPECT_EQ(info.linkPort, pick(kPortLine).linkPort);
    EXPECT_EQ(info.linkMode, pick(kModeLine).linkMode);
    ImageBytes expected = OtherImage().Bytes();
    expected[84] = 1;
    for (std::size_t i = 0; i < kImageSize && kFirstByteLine + i < c.lineCount; ++i) expected[i] = kDefaultImage[i];
    EXPECT_EQ(image.Bytes(), expected);
    EXPECT_FALSE(image.IsChanged());
  }
}

TEST(CfgFileRead, BadImageByteKeepsOldValueAndReadingContinues) {
  std::vector<std::string> lines = SplitCrLf(kDefaultFile);
  const std::vector<std::string> bad = {" 256 ", "-1 ", " 1000 ", " 6a ", "abc", "", " - ", " 3.0 "};
  for (std::size_t k = 0; k < bad.size(); ++k) lines[kFirstByteLine + k] = bad[k];
  lines[kFirstByteLine + bad.size()] = " 0 ";
  lines[kFirstByteLine + bad.size() + 1] = " 255 ";

  FileInfo info;
  ConfigImage image = OtherImage();
  ASSERT_EQ(ParseConfigFile(JoinCrLf(lines), info, image), ParseResult::kOk);
  ImageBytes expected = kDefaultImage;
  for (std::size_t k = 0; k < bad.size(); ++k) expected[k] = OtherImage().Byte(k);
  expected[bad.size()] = 0;
  expected[bad.size() + 1] = 255;
  EXPECT_EQ(image.Bytes(), expected);  // later lines still land on their own bytes
}

TEST(CfgFileRead, LinkFieldsAreSixteenBitSigned) {
  const std::optional<std::int16_t> kKept;
  const std::vector<std::pair<std::string, std::optional<std::int16_t>>> cases = {
      {" -5 ", -5},         {"-5 ", -5},        {" 3 ", 3},           {" 32767 ", 32767},
      {"-32768 ", -32768},  {"40000", kKept},   {" 32768 ", kKept},   {"-32769 ", kKept},
      {" 7x ", kKept},      {"COM1", kKept},    {"", kKept},          {" 99999999999999999999 ", kKept}};
  for (const auto& [text, read] : cases) {
    std::vector<std::string> lines = SplitCrLf(kDefaultFile);
    lines[kPortLine] = text;
    lines[kModeLine] = text;
    FileInfo info = OtherInfo();
    ConfigImage image;
    ASSERT_EQ(ParseConfigFile(JoinCrLf(lines), info, image), ParseResult::kOk);
    EXPECT_EQ(info.linkPort, read.value_or(OtherInfo().linkPort)) << '"' << text << '"';
    EXPECT_EQ(info.linkMode, read.value_or(OtherInfo().linkMode)) << '"' << text << '"';
  }
}

TEST(CfgFileRoundTrip, SavedFileRestoresEverything) {
  for (const FileInfo& saved : {DefaultInfo(), OtherInfo(), FileInfo{"a", "b", "", "", -32768, 32767}}) {
    const std::string text = FormatConfigFile(saved, OtherImage().Bytes());
    FileInfo info = DefaultInfo();
    ConfigImage image;
    ASSERT_EQ(ParseConfigFile(text, info, image), ParseResult::kOk);
    EXPECT_EQ(Fields(info), Fields(saved));
    EXPECT_EQ(image.Bytes(), OtherImage().Bytes());
    EXPECT_FALSE(image.IsChanged());
    EXPECT_EQ(FormatConfigFile(info, image.Bytes()), text);
  }
}

TEST(CfgFileRoundTrip, BareLfOrCrLineEndsReadLikeCrLf) {
  for (const char* eol : {"\n", "\r"}) {
    std::string text = FormatConfigFile(OtherInfo(), OtherImage().Bytes());
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, eol);
    FileInfo info;
    ConfigImage image;
    ASSERT_EQ(ParseConfigFile(text, info, image), ParseResult::kOk);
    EXPECT_EQ(Fields(info), Fields(OtherInfo()));
    EXPECT_EQ(image.Bytes(), OtherImage().Bytes());
  }
}

}  // namespace
}  // namespace q5r
