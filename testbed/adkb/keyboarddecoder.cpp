#include "keyboarddecoder.h"

#include <string_view>

#include "link/protocol.h"

namespace testbed {

namespace {

constexpr std::string_view kWakeUpLetters = "ABCMN";

int StrictHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string KeyboardDecoder::OnPortWrite(std::uint16_t port, std::uint8_t value,
                                         const KeyboardDecoderSettings& settings) {
  if (port == q5r::kInterruptMaskPort && value == 0) return OnRelease(settings);
  if (port != q5r::kKeyboardDataPort) return {};
  const char c = static_cast<char>(value);

  if (state_ == State::kDownload) {
    download_.push_back(c);
    return download_.size() == q5r::kKeyboardDownloadChars ? CheckDownload(settings) : std::string();
  }
  if (state_ == State::kAnswered) return {};  // more wake-up letters before the release

  if (kWakeUpLetters.find(c) == std::string_view::npos) {
    runLength_ = 0;
    return {};
  }
  runLength_ = c == runLetter_ ? runLength_ + 1 : 1;
  runLetter_ = c;
  if (runLength_ < 5) return {};
  runLength_ = 0;
  ++wakeUps_;
  if (!settings.present || wakeUps_ != settings.answerAt) return {};
  state_ = State::kAnswered;
  operation_ = c;
  return "S";
}

std::string KeyboardDecoder::OnRelease(const KeyboardDecoderSettings& settings) {
  const State state = state_;
  state_ = State::kIdle;
  wakeUps_ = 0;
  runLength_ = 0;
  if (state != State::kAnswered) return {};
  switch (operation_) {
    case 'A':
    case 'B':
      state_ = State::kDownload;
      download_.clear();
      return {};
    case 'C':
      return UploadReply(settings);
    case 'M':
      return Memory(settings) + '\x03';
    default:  // 'N'
      memoryCleared_ = true;
      return {};
  }
}

std::string KeyboardDecoder::CheckDownload(const KeyboardDecoderSettings& settings) {
  state_ = State::kIdle;
  q5r::ImageBytes image{};
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i <= image.size(); ++i) {
    const int high = StrictHexDigit(download_[2 * i]);
    const int low = StrictHexDigit(download_[2 * i + 1]);
    if (high < 0 || low < 0) return {};
    const auto byte = static_cast<std::uint8_t>(high * 16 + low);
    if (i < image.size()) image[i] = byte;
    sum ^= byte;
  }
  if (sum != 0) return {};
  image_ = image;
  return settings.acknowledgeDownload ? "P" : "";
}

std::string KeyboardDecoder::UploadReply(const KeyboardDecoderSettings& settings) const {
  if (settings.reply == "none") return {};
  const std::size_t first = settings.barSection ? 0 : 25;
  const std::size_t count = settings.barSection ? 25 : 60;
  std::string text(1, settings.barSection ? '1' : '0');
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    text += q5r::HexPair(image_[first + i]);
    sum ^= image_[first + i];
  }
  text += q5r::HexPair(settings.reply == "badcheck" ? static_cast<std::uint8_t>(sum ^ 0x01) : sum);
  std::string version = settings.version.substr(0, q5r::kVersionChars);
  version.resize(q5r::kVersionChars, ' ');
  text.resize(q5r::kKeyboardUploadChars - q5r::kVersionChars, '0');  // nothing reads this filler
  text += version;
  // (Built anew rather than by insert/erase, which GCC 12 -O3 warns about.)
  if (settings.reply == "short") text = text.substr(0, 1) + text.substr(2);
  if (settings.reply == "long") text = text.substr(0, 1) + "0" + text.substr(1);
  if (settings.reply == "badflag") text[0] = '2';
  if (settings.reply == "baddigit") text[1] = 'G';
  return text;
}

}  // namespace testbed
