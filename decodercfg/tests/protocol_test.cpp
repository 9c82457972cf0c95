#include "link/protocol.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace q5r {
namespace {

std::uint8_t Xor(std::span<const std::uint8_t> bytes) {
  return std::accumulate(bytes.begin(), bytes.end(), std::uint8_t{0},
                         [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a ^ b); });
}

ImageBytes Pattern() {
  ImageBytes image{};
  for (std::size_t i = 0; i < kImageSize; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return image;
}

// A serial upload reply announcing `length` configuration bytes (byte i is
// 100 + i) with a correct check byte.
std::vector<std::uint8_t> SerialReply(std::uint8_t length, std::string_view version = "FW-Q5R 1.23 2026-12-01") {
  std::vector<std::uint8_t> reply{length};
  for (std::size_t i = 0; i < length; ++i) reply.push_back(static_cast<std::uint8_t>(100 + i));
  reply.insert(reply.end(), version.begin(), version.end());
  reply.push_back(Xor(reply));
  return reply;
}

TEST(DownloadFrame, CarriesTheImageBetweenHeaderAndTrailerWithAZeroXor) {
  for (const bool save : {true, false}) {
    for (const ImageBytes& image : {kDefaultImage, Pattern()}) {
      const DownloadFrame frame = BuildDownloadFrame(image, save);
      EXPECT_EQ(frame[0], 0x02);
      EXPECT_EQ(frame[1], save ? 0x01 : 0x02);
      EXPECT_EQ(frame[2], 0x54);
      EXPECT_TRUE(std::equal(image.begin(), image.end(), frame.begin() + 3));
      EXPECT_EQ(frame[88], 0x03);
      EXPECT_EQ(Xor(frame), 0);
      // Header and trailer fold into 0x54 or 0x57 before the image bytes.
      EXPECT_EQ(frame[89], (save ? 0x54 : 0x57) ^ Xor(image));
    }
  }
}

TEST(DownloadReply, OnlyAFirstByteOf07IsAccepted) {
  EXPECT_TRUE(IsDownloadAccepted(std::vector<std::uint8_t>{0x07}));
  EXPECT_TRUE(IsDownloadAccepted(std::vector<std::uint8_t>{0x07, 0x15}));
  EXPECT_FALSE(IsDownloadAccepted(std::vector<std::uint8_t>{0x06}));
  EXPECT_FALSE(IsDownloadAccepted(std::vector<std::uint8_t>{0x15, 0x07}));
  EXPECT_FALSE(IsDownloadAccepted({}));
}

TEST(SerialUpload, LengthSixtyIsTheMagneticSectionAnyOtherTheBarCodeSection) {
  for (const std::uint8_t length : {60, 10, 25, 61, 255}) {
    const std::vector<std::uint8_t> whole = SerialReply(length);
    const auto reply = ParseSerialUploadReply(whole);
    ASSERT_TRUE(reply) << int{length};
    const bool mag = length == 60;
    EXPECT_EQ(reply->data.section, mag ? ImageSection::kMagReader : ImageSection::kBarDecoder);
    ConfigImage image;
    ApplyUploadData(reply->data, image);
    // The section takes the bytes after L; with L below 25 the version
    // text follows them. The other section and the snapshot stay.
    const std::size_t first = mag ? 25 : 0, end = mag ? 85 : 25;
    for (std::size_t i = 0; i < kImageSize; ++i) {
      EXPECT_EQ(image.Byte(i), i >= first && i < end ? whole[i - first + 1] : kDefaultImage[i])
          << int{length} << " byte " << i;
    }
    EXPECT_EQ(image.Saved(), kDefaultImage);
    EXPECT_EQ(reply->versionFirst, "FW-Q5R 1.23 ");
    EXPECT_EQ(reply->versionSecond, "2026-12-01");
  }
}

TEST(SerialUpload, RejectsShortLengthsBadChecksAndTruncatedReplies) {
  EXPECT_FALSE(ParseSerialUploadReply(SerialReply(9)));
  EXPECT_FALSE(ParseSerialUploadReply(SerialReply(0)));
  EXPECT_FALSE(ParseSerialUploadReply({}));

  // Every byte up to the check byte counts; bytes after the reply do not.
  std::vector<std::uint8_t> reply = SerialReply(60);
  for (std::size_t i = 0; i < reply.size(); ++i) {
    std::vector<std::uint8_t> bad = reply;
    bad[i] ^= 0x10;
    EXPECT_FALSE(ParseSerialUploadReply(bad)) << "flipped byte " << i;
  }
  reply.push_back(0xAA);
  EXPECT_TRUE(ParseSerialUploadReply(reply));

  // Fewer bytes than announced: never read past what was received.
  std::vector<std::uint8_t> truncated = SerialReply(60);
  truncated.pop_back();
  EXPECT_FALSE(ParseSerialUploadReply(truncated));
  std::vector<std::uint8_t> bigClaim = SerialReply(60);
  bigClaim[0] = 200;
  EXPECT_FALSE(ParseSerialUploadReply(bigClaim));
}

TEST(HexDigits, PairsReadBackAndTheArithmeticDecidesWhatIsADigit) {
  EXPECT_EQ(HexPair(0x0A) + HexPair(0x3C) + HexPair(0xFF), "0A3CFF");
  for (int v = 0; v < 256; ++v) {
    const std::string pair = HexPair(static_cast<std::uint8_t>(v));
    EXPECT_EQ(HexDigitValue(static_cast<unsigned char>(pair[0])) * 16 +
                  HexDigitValue(static_cast<unsigned char>(pair[1])),
              static_cast<unsigned>(v));
  }
  const std::pair<char, unsigned> odd[] = {{'a', 10}, {'f', 15}, {':', 10}, {';', 4}, {'@', 9}, {'\x0B', 4}};
  for (const auto& [c, value] : odd) EXPECT_EQ(HexDigitValue(static_cast<unsigned char>(c)), value) << int{c};
  // Codes 0..22, 48..70 and 97..102 are digits; nothing else up to 255.
  int digits = 0;
  for (unsigned code = 0; code < 256; ++code) digits += HexDigitValue(code) <= kMaxHexDigit;
  EXPECT_EQ(digits, 23 + 23 + 6);
  EXPECT_GT(HexDigitValue(0xFFFFFFFFu), kMaxHexDigit);
}

TEST(KeyboardDownload, SendsEveryByteAsAPairThenTheirXor) {
  const std::string text = KeyboardDownloadText(kDefaultImage);
  ASSERT_EQ(text.size(), kKeyboardDownloadChars);
  EXPECT_EQ(text.substr(0, 16), "4142434445464748");
  EXPECT_EQ(text.substr(166, 4), "0F0D");  // bytes 83, 84
  EXPECT_EQ(text.substr(170), HexPair(Xor(kDefaultImage)));
  const std::string other = KeyboardDownloadText(Pattern());
  EXPECT_EQ(other.substr(2 * 84, 2), HexPair(Pattern()[84]));
}

// A typed upload reply: flag, hex pairs of `bytes` and their check, filler
// up to the last 22 characters, the version.
std::wstring KeyReply(wchar_t flag, const std::vector<std::uint8_t>& bytes,
                      std::wstring_view version = L"Q5R V2.10   2026-12-01") {
  std::wstring text(1, flag);
  for (const std::uint8_t b : bytes) {
    for (const char c : HexPair(b)) text.push_back(static_cast<wchar_t>(c));
  }
  for (const char c : HexPair(Xor(bytes))) text.push_back(static_cast<wchar_t>(c));
  text.resize(kKeyboardUploadChars - version.size(), L'Z');
  return text + std::wstring(version);
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first) {
  std::vector<std::uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

TEST(KeyboardUpload, FlagChoosesTheSectionAndTheVersionIsTheLast22) {
  const auto mag = ParseKeyboardUploadReply(KeyReply(L'0', Bytes(60, 0xC0)));
  ASSERT_TRUE(mag);
  EXPECT_EQ(mag->data.section, ImageSection::kMagReader);
  EXPECT_EQ(mag->data.bytes, Bytes(60, 0xC0));
  EXPECT_EQ(FirmwareVersionMessage<wchar_t>(mag->versionFirst, mag->versionSecond),
            L"Get Firmware Version OK!\r\r   Q5R V2.10   \n\r   2026-12-01");

  // Flag "1": what lies between the 26 pairs and the version is not read.
  const std::wstring barText = KeyReply(L'1', Bytes(25, 1));
  ASSERT_EQ(barText[60], L'Z');
  const auto bar = ParseKeyboardUploadReply(barText);
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->data.section, ImageSection::kBarDecoder);
  ConfigImage image;
  ApplyUploadData(bar->data, image);
  for (std::size_t i = 0; i < kImageSize; ++i) EXPECT_EQ(image.Byte(i), i < 25 ? i + 1 : kDefaultImage[i]);
}

TEST(KeyboardUpload, RejectsWrongLengthFlagDigitsAndCheck) {
  const std::wstring good = KeyReply(L'0', Bytes(60, 7));
  ASSERT_TRUE(ParseKeyboardUploadReply(good));
  EXPECT_FALSE(ParseKeyboardUploadReply(good.substr(1)));
  EXPECT_FALSE(ParseKeyboardUploadReply(good + L" "));
  std::wstring badFlag = good;
  badFlag[0] = L'2';
  EXPECT_FALSE(ParseKeyboardUploadReply(badFlag));
  std::wstring badDigit = good;
  badDigit[5] = L'G';
  EXPECT_FALSE(ParseKeyboardUploadReply(badDigit));
  std::wstring badCheck = good;
  badCheck[122] = badCheck[122] == L'0' ? L'1' : L'0';  // low digit of the check byte
  EXPECT_FALSE(ParseKeyboardUploadReply(badCheck));
}

TEST(KeyboardUpload, ReadsDigitsTheWayTheArithmeticDoes) {
  std::wstring text = KeyReply(L'1', Bytes(25, 0xA0));
  // Lower case and ":" read as ten, just like "A".
  ASSERT_EQ(text.substr(1, 2), L"A0");
  text[1] = L'a';
  EXPECT_TRUE(ParseKeyboardUploadReply(text));
  text[1] = L':';
  const auto reply = ParseKeyboardUploadReply(text);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->data.bytes[0], 0xA0);
  text[1] = static_cast<wchar_t>(0x0410);  // CYRILLIC A is no digit
  EXPECT_FALSE(ParseKeyboardUploadReply(text));
}

}  // namespace
}  // namespace q5r
