// The decoder behind the adkb.dll stand-in: it sees the bytes the program
// writes to the keyboard controller and says what to type in answer. No
// Windows here; adkb_win.cpp does the typing.
//
//   wake-up string (five of A, B, C, M or N)  ->  "S"
//   then the release (0x00 to port 0x21), by operation:
//     A / B  the next 172 characters are the download; good ones  -> "P"
//     C      -> the 145-character upload reply
//     M      -> the memory text and character code 3
//     N      -> the memory is emptied
// A release also ends an unfinished download and starts the count of
// wake-up strings again.
#pragma once

#include <cstdint>
#include <string>

#include "image.h"

namespace testbed {

struct KeyboardDecoderSettings {
  bool present = true;  // false: never answers
  int answerAt = 1;     // answers the n-th wake-up string of a ready wait
  bool barSection = false;  // upload reply: flag "1" and bytes 0..24, else "0" and 25..84
  // Upload reply as typed: good, badcheck (wrong check byte), short (144
  // characters), long (146), badflag ("2"), baddigit (a "G"), none.
  std::string reply = "good";
  bool acknowledgeDownload = true;  // "P" after good download data
  std::string version = "Q5R V2.10   2026-12-01";  // 22 characters, space padded
  std::string memory = "4006381333931\r5012345678900\r";  // typed by a read, then code 3
};

class KeyboardDecoder {
 public:
  explicit KeyboardDecoder(const q5r::ImageBytes& image = q5r::kDefaultImage) : image_(image) {}

  // One port write of the program; returns the characters the decoder
  // types in answer (empty for none).
  std::string OnPortWrite(std::uint16_t port, std::uint8_t value, const KeyboardDecoderSettings& settings);

  const q5r::ImageBytes& Image() const { return image_; }
  const std::string& Memory(const KeyboardDecoderSettings& settings) const {
    return memoryCleared_ ? empty_ : settings.memory;
  }

 private:
  enum class State { kIdle, kAnswered, kDownload };

  std::string OnRelease(const KeyboardDecoderSettings& settings);
  std::string CheckDownload(const KeyboardDecoderSettings& settings);
  std::string UploadReply(const KeyboardDecoderSettings& settings) const;

  q5r::ImageBytes image_;
  State state_ = State::kIdle;
  char operation_ = 0;  // letter of the answered wake-up string
  char runLetter_ = 0;
  int runLength_ = 0;
  int wakeUps_ = 0;
  std::string download_;
  bool memoryCleared_ = false;
  std::string empty_;
};

}  // namespace testbed
