#include "image.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace q5r {
namespace {

// The factory block as the decoder ships it, one value per byte.
constexpr ImageBytes kFactory = {
    65,  66,  67,  68,  69,  70,  71,  72,                        // 0..7 code IDs
    255, 255, 255, 255, 255, 255, 255, 255,                       // 8..15
    8,   0,   255, 252, 2,   255, 34,  102, 0,                    // 16..24
    0,   48,  226, 23,                                            // 25..28
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,   // 29..40
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,   // 41..52
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,   // 53..64
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,   // 65..76
    37,  63,  59,  63,  43,  63,  15,  13};                       // 77..84

ConfigImage Filled(std::uint8_t value) {
  ConfigImage image;
  for (std::size_t i = 0; i < kImageSize; ++i) image.SetByte(i, value);
  return image;
}

TEST(ConfigImageDefaults, NewImageHoldsFactoryBlockAndIsUnchanged) {
  const ConfigImage image;
  EXPECT_EQ(image.Bytes(), kFactory);
  EXPECT_EQ(image.Saved(), kFactory);
  EXPECT_EQ(kDefaultImage, kFactory);
  EXPECT_FALSE(image.IsChanged());
}

TEST(ConfigImageDefaults, EachRegionResetTouchesOnlyItsOwnBytes) {
  ConfigImage bar = Filled(0x5A);
  bar.LoadBarDecoderDefaults();
  ConfigImage mag = Filled(0x5A);
  mag.LoadMagReaderDefaults();
  for (std::size_t i = 0; i < kImageSize; ++i) {
    const bool inBar = i <= 24;
    EXPECT_EQ(bar.Byte(i), inBar ? kFactory[i] : 0x5A) << "bar reset, byte " << i;
    EXPECT_EQ(mag.Byte(i), inBar ? 0x5A : kFactory[i]) << "mag reset, byte " << i;
  }
}

TEST(ConfigImageBits, SetBitsReplacesOnlyTheMaskedField) {
  ConfigImage image;
  image.SetByte(22, 0x21);
  image.SetBits(22, 0x03, 2);
  EXPECT_EQ(image.Byte(22), 0x22);
  EXPECT_EQ(image.GetBits(22, 0x03), 2);

  // Two fields of one byte set one after the other; GetBits is unshifted.
  image.SetBits(17, 0xF0, 0x50);
  image.SetBits(17, 0x0F, 3);
  EXPECT_EQ(image.Byte(17), 0x53);
  EXPECT_EQ(image.GetBits(17, 0xF0), 0x50);
  EXPECT_EQ(image.GetBits(17, 0x0F), 3);

  // Clearing one bit of an all-ones byte leaves the other seven and the
  // neighbouring bytes alone.
  image.SetBits(21, 0x80, 0);
  EXPECT_EQ(image.Byte(21), 0x7F);
  EXPECT_EQ(image.Byte(20), kFactory[20]);
  EXPECT_EQ(image.Byte(22), 0x22);

  image.SetBits(84, 0xFF, 0xA5);  // last byte is addressable
  EXPECT_EQ(image.GetBits(84, 0xFF), 0xA5);
}

TEST(ConfigImageBits, IndexOutsideTheBlockThrowsAndChangesNothing) {
  ConfigImage image;
  for (int index : {85, 86, 1000, -1}) {
    EXPECT_THROW(image.SetBits(index, 0xFF, 0), std::out_of_range) << index;
    EXPECT_THROW((void)image.GetBits(index, 0xFF), std::out_of_range) << index;
  }
  EXPECT_THROW((void)image.Byte(85), std::out_of_range);
  EXPECT_THROW(image.SetByte(85, 0), std::out_of_range);
  EXPECT_EQ(image.Bytes(), kFactory);
  EXPECT_FALSE(image.IsChanged());
}

TEST(ConfigImageChanges, SnapshotTracksUnsavedEdits) {
  ConfigImage image;
  image.SetBits(16, 0x0F, 8);  // same value as the default
  EXPECT_FALSE(image.IsChanged());

  image.SetBits(16, 0x0F, 9);
  EXPECT_TRUE(image.IsChanged());
  EXPECT_EQ(image.Saved()[16], 8);  // snapshot keeps the old value

  image.TakeSnapshot();
  EXPECT_FALSE(image.IsChanged());
  EXPECT_EQ(image.Saved()[16], 9);

  // Editing back to the snapshot's value counts as unchanged again.
  image.SetBits(16, 0x0F, 0);
  EXPECT_TRUE(image.IsChanged());
  image.SetBits(16, 0x0F, 9);
  EXPECT_FALSE(image.IsChanged());

  // A region reset after edits is a change until the next snapshot.
  image.SetByte(30, 7);
  image.TakeSnapshot();
  image.LoadMagReaderDefaults();
  EXPECT_TRUE(image.IsChanged());
}

}  // namespace
}  // namespace q5r
