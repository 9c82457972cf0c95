// The decoder's 85-byte configuration block and its snapshot.
//
// Bytes 0..24 configure the bar-code decoder, bytes 25..84 the magnetic card
// reader. Pages edit bit fields through SetBits/GetBits; the file and link
// code read and write whole bytes. The snapshot is the image as it stood at
// the last load, save or reset, and tells whether there are unsaved changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace q5r {

inline constexpr std::size_t kImageSize = 85;
inline constexpr std::size_t kBarFirst = 0, kBarLast = 24;
inline constexpr std::size_t kMagFirst = 25, kMagLast = 84;
inline constexpr std::uint8_t kEmptySlot = 255;  // marks an empty prefix/suffix slot

using ImageBytes = std::array<std::uint8_t, kImageSize>;

// Factory defaults for the whole block (both regions).
extern const ImageBytes kDefaultImage;

class ConfigImage {
 public:
  // Starts with both regions at their defaults and the snapshot taken.
  ConfigImage();

  // Byte `index` = (old AND NOT mask) OR value. `value` is already shifted
  // into the mask's position. Throws std::out_of_range for index >= 85.
  void SetBits(int index, int mask, int value);
  // Byte `index` AND mask, unshifted. Throws std::out_of_range for index >= 85.
  int GetBits(int index, int mask) const;

  std::uint8_t Byte(std::size_t index) const { return bytes_.at(index); }
  void SetByte(std::size_t index, std::uint8_t value) { bytes_.at(index) = value; }
  const ImageBytes& Bytes() const { return bytes_; }
  const ImageBytes& Saved() const { return saved_; }

  void LoadBarDecoderDefaults();  // bytes 0..24 only
  void LoadMagReaderDefaults();   // bytes 25..84 only
  void TakeSnapshot() { saved_ = bytes_; }
  bool IsChanged() const { return bytes_ != saved_; }

 private:
  ImageBytes bytes_{};
  ImageBytes saved_{};
};

}  // namespace q5r
