#include "link/protocol.h"

#include <algorithm>
#include <stdexcept>

namespace q5r {

namespace {

constexpr std::size_t kBarSectionSize = kBarLast - kBarFirst + 1;  // 25
constexpr std::size_t kMagSectionSize = kMagLast - kMagFirst + 1;  // 60
constexpr std::size_t kVersionFirstChars = 12;
constexpr std::size_t kVersionSecondChars = kVersionChars - kVersionFirstChars;

std::size_t SectionSize(ImageSection section) {
  return section == ImageSection::kMagReader ? kMagSectionSize : kBarSectionSize;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

DownloadFrame BuildDownloadFrame(const ImageBytes& image, bool saveInDecoder) {
  DownloadFrame frame{};
  frame[0] = 0x02;
  frame[1] = saveInDecoder ? 0x01 : 0x02;
  frame[2] = 0x54;
  std::copy(image.begin(), image.end(), frame.begin() + 3);
  frame[88] = 0x03;
  std::uint8_t check = 0;
  for (std::size_t i = 0; i < kDownloadFrameSize - 1; ++i) check ^= frame[i];
  frame[89] = check;
  return frame;
}

bool IsDownloadAccepted(std::span<const std::uint8_t> reply) {
  return !reply.empty() && reply[0] == kReplyAccepted;
}

void ApplyUploadData(const UploadData& data, ConfigImage& image) {
  const std::size_t size = SectionSize(data.section);
  if (data.bytes.size() != size) throw std::invalid_argument("upload section of the wrong size");
  const std::size_t first = data.section == ImageSection::kMagReader ? kMagFirst : kBarFirst;
  for (std::size_t i = 0; i < size; ++i) image.SetByte(first + i, data.bytes[i]);
}

std::optional<SerialUploadReply> ParseSerialUploadReply(std::span<const std::uint8_t> received) {
  if (received.empty()) return std::nullopt;
  const std::size_t length = received[0];
  if (length < kMinUploadLength) return std::nullopt;
  const std::size_t total = length + 24;
  if (received.size() < total) return std::nullopt;
  std::uint8_t check = 0;
  for (std::size_t i = 0; i < total; ++i) check ^= received[i];
  if (check != 0) return std::nullopt;

  SerialUploadReply reply;
  reply.data.section = length == kMagUploadLength ? ImageSection::kMagReader : ImageSection::kBarDecoder;
  const auto config = received.subspan(1, SectionSize(reply.data.section));
  reply.data.bytes.assign(config.begin(), config.end());
  const auto version = received.subspan(length + 1, kVersionChars);
  reply.versionFirst.assign(version.begin(), version.begin() + kVersionFirstChars);
  reply.versionSecond.assign(version.begin() + kVersionFirstChars, version.end());
  return reply;
}

std::string HexPair(std::uint8_t value) {
  return {kHexDigits[value >> 4], kHexDigits[value & 0x0F]};
}

unsigned int HexDigitValue(unsigned int characterCode) {
  // Kept as the decoder link has always read digits: this arithmetic, not a
  // list of characters, decides which characters count as digits. Each step
  // subtracts only from a larger value, so nothing wraps.
  unsigned int value = characterCode;
  if (value > 96) value -= 32;
  if (value > 47) value -= 48;
  if (value > 10) value -= 7;
  return value;
}

const WakeUpInfo& WakeUpFor(KeyboardOperation operation) {
  for (const WakeUpInfo& info : kWakeUps) {
    if (info.operation == operation) return info;
  }
  throw std::invalid_argument("keyboard operation without a wake-up string");
}

std::string WakeUpString(KeyboardOperation operation) {
  return std::string(5, WakeUpFor(operation).letter);
}

KeyboardOperation TransmitOperation(bool receiveRequest, bool saveInDecoder) {
  if (receiveRequest) return KeyboardOperation::kUpload;
  return saveInDecoder ? KeyboardOperation::kDownloadSave : KeyboardOperation::kDownloadNotSave;
}

std::string KeyboardDownloadText(const ImageBytes& image) {
  std::string text;
  text.reserve(kKeyboardDownloadChars);
  std::uint8_t check = 0;
  for (const std::uint8_t byte : image) {
    check ^= byte;
    text += HexPair(byte);
  }
  text += HexPair(check);
  return text;
}

std::optional<KeyboardUploadReply> ParseKeyboardUploadReply(std::wstring_view text) {
  if (text.size() != kKeyboardUploadChars) return std::nullopt;
  KeyboardUploadReply reply;
  if (text[0] == L'0') {
    reply.data.section = ImageSection::kMagReader;
  } else if (text[0] == L'1') {
    reply.data.section = ImageSection::kBarDecoder;
  } else {
    return std::nullopt;
  }
  const std::size_t count = SectionSize(reply.data.section) + 1;  // data and check byte
  std::uint8_t check = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned int high = HexDigitValue(static_cast<unsigned int>(text[1 + 2 * i]));
    if (high > kMaxHexDigit) return std::nullopt;
    const unsigned int low = HexDigitValue(static_cast<unsigned int>(text[2 + 2 * i]));
    if (low > kMaxHexDigit) return std::nullopt;
    const auto byte = static_cast<std::uint8_t>(high * 16 + low);
    check ^= byte;
    if (i + 1 < count) reply.data.bytes.push_back(byte);
  }
  if (check != 0) return std::nullopt;
  const std::wstring_view version = text.substr(text.size() - kVersionChars);
  reply.versionFirst = version.substr(0, kVersionFirstChars);
  reply.versionSecond = version.substr(kVersionFirstChars, kVersionSecondChars);
  return reply;
}

}  // namespace q5r
