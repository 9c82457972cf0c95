// Reads arbitrary bytes as the decoder's serial upload reply. A reply is
// taken exactly when it announces at least 10 configuration bytes, holds
// all L + 24 bytes it announces and XORs to zero; a taken reply gives the
// bytes at their offsets and rewrites one section of the image only.
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/protocol.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> received(data, size);
  const auto reply = q5r::ParseSerialUploadReply(received);

  const std::size_t length = size > 0 ? data[0] : 0;
  bool wellFormed = size > 0 && length >= 10 && size >= length + 24;
  if (wellFormed) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length + 24; ++i) sum ^= data[i];
    wellFormed = sum == 0;
  }
  Check(reply.has_value() == wellFormed);
  if (!reply) return 0;

  const bool mag = length == 60;
  Check(reply->data.section == (mag ? q5r::ImageSection::kMagReader : q5r::ImageSection::kBarDecoder));
  const std::size_t count = mag ? 60 : 25;
  Check(reply->data.bytes.size() == count);
  for (std::size_t i = 0; i < count; ++i) Check(reply->data.bytes[i] == data[1 + i]);
  Check(reply->versionFirst.size() == 12 && reply->versionSecond.size() == 10);
  for (std::size_t i = 0; i < 12; ++i) Check(static_cast<std::uint8_t>(reply->versionFirst[i]) == data[length + 1 + i]);
  for (std::size_t i = 0; i < 10; ++i) Check(static_cast<std::uint8_t>(reply->versionSecond[i]) == data[length + 13 + i]);

  // Over an image that differs from the reply everywhere, only the section
  // changes.
  q5r::ConfigImage image;
  for (std::size_t i = 0; i < q5r::kImageSize; ++i) image.SetByte(i, static_cast<std::uint8_t>(~data[(i % count) + 1]));
  image.TakeSnapshot();
  q5r::ApplyUploadData(reply->data, image);
  const std::size_t first = mag ? 25 : 0;
  for (std::size_t i = 0; i < q5r::kImageSize; ++i) {
    const bool inSection = i >= first && i < first + count;
    Check(image.Byte(i) == (inSection ? data[1 + i - first] : image.Saved()[i]));
  }
  return 0;
}
