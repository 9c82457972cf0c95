// Reads arbitrary bytes as a configuration file. Whatever is accepted must
// save and read back to the same texts, link fields and image bytes, and
// saving that again must give the very same file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cfgfile.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool SameInfo(const q5r::FileInfo& a, const q5r::FileInfo& b) {
  return a.deviceName == b.deviceName && a.userName == b.userName &&
         a.buildingDate == b.buildingDate && a.description == b.description &&
         a.linkPort == b.linkPort && a.linkMode == b.linkMode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  q5r::FileInfo info;
  q5r::ConfigImage image;
  if (q5r::ParseConfigFile(input, info, image) != q5r::ParseResult::kOk) {
    Check(SameInfo(info, q5r::FileInfo{}) && !image.IsChanged() && image.Bytes() == q5r::kDefaultImage);
    return 0;
  }
  Check(!image.IsChanged());

  // Texts read from a file never hold CR or LF, so the saved file has exactly
  // 92 lines and every field comes back from its own line.
  const std::string saved = q5r::FormatConfigFile(info, image.Bytes());
  std::size_t lineEnds = 0;
  for (std::size_t i = 0; i < saved.size(); ++i) {
    if (saved[i] == '\n' || saved[i] == '\r') {
      Check(saved.compare(i, 2, "\r\n") == 0);
      ++lineEnds;
      ++i;
    }
  }
  Check(lineEnds == static_cast<std::size_t>(q5r::kConfigFileLines));

  // Read back over values that differ everywhere, so a field the writer
  // dropped cannot pass by keeping an equal old value.
  q5r::FileInfo again{info.deviceName + "x", info.userName + "x", info.buildingDate + "x",
                      info.description + "x", static_cast<std::int16_t>(~info.linkPort),
                      static_cast<std::int16_t>(~info.linkMode)};
  q5r::ConfigImage imageAgain;
  for (std::size_t i = 0; i < q5r::kImageSize; ++i) {
    imageAgain.SetByte(i, static_cast<std::uint8_t>(~image.Byte(i)));
  }
  Check(q5r::ParseConfigFile(saved, again, imageAgain) == q5r::ParseResult::kOk);
  Check(SameInfo(again, info));
  Check(imageAgain.Bytes() == image.Bytes() && !imageAgain.IsChanged());
  Check(q5r::FormatConfigFile(again, imageAgain.Bytes()) == saved);
  return 0;
}
