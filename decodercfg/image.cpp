#include "image.h"

#include <stdexcept>

namespace q5r {

namespace {

constexpr ImageBytes MakeDefaults() {
  ImageBytes d{};
  // Bar-code decoder: code ID characters "A".."H", empty prefix and suffix.
  for (int i = 0; i < 8; ++i) d[i] = static_cast<std::uint8_t>('A' + i);
  for (int i = 8; i < 16; ++i) d[i] = kEmptySlot;
  d[16] = 8;    // PC/AT keyboard, 9600 baud, US English
  d[17] = 0;    // no truncation
  d[18] = 255;  // all Codabar start and stop characters
  d[19] = 252;  // upper case, 8 data bits, no parity, 1 stop bit
  d[20] = 2;    // CR+LF, no handshakes
  d[21] = 255;  // every symbology enabled
  d[22] = 34;   // RS232 interface, UPC/EAN check digit transmitted
  d[23] = 102;  // check-digit defaults, Code 39 standard output
  d[24] = 0;
  // Magnetic reader.
  d[25] = 0;    // ISO
  d[26] = 48;   // keyboard interface, 8 data bits, 1 stop bit
  d[27] = 226;  // CR+LF, no parity
  d[28] = 23;   // 9600 baud, send start/stop characters
  for (int i = 29; i <= 76; ++i) d[i] = kEmptySlot;
  d[77] = '%';
  d[78] = '?';
  d[79] = ';';
  d[80] = '?';
  d[81] = '+';
  d[82] = '?';
  d[83] = 15;   // any track, US English
  d[84] = 13;   // CR between tracks
  return d;
}

void CheckIndex(int index) {
  if (index < 0 || index >= static_cast<int>(kImageSize)) {
    throw std::out_of_range("configuration image index out of range");
  }
}

}  // namespace

const ImageBytes kDefaultImage = MakeDefaults();

ConfigImage::ConfigImage() {
  LoadBarDecoderDefaults();
  LoadMagReaderDefaults();
  TakeSnapshot();
}

void ConfigImage::SetBits(int index, int mask, int value) {
  CheckIndex(index);
  bytes_[index] = static_cast<std::uint8_t>((bytes_[index] & ~mask) | value);
}

int ConfigImage::GetBits(int index, int mask) const {
  CheckIndex(index);
  return bytes_[index] & mask;
}

void ConfigImage::LoadBarDecoderDefaults() {
  for (std::size_t i = kBarFirst; i <= kBarLast; ++i) bytes_[i] = kDefaultImage[i];
}

void ConfigImage::LoadMagReaderDefaults() {
  for (std::size_t i = kMagFirst; i <= kMagLast; ++i) bytes_[i] = kDefaultImage[i];
}

}  // namespace q5r
