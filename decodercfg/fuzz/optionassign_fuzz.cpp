// Reads arbitrary bytes as a q5rcfg "NAME=VALUE" argument. A refused name
// or value changes nothing; an accepted one shows a value that, set again,
// gives the same image and texts.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "cli/optionnames.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace q5r;
  using namespace q5r::cli;
  const std::string_view argument(reinterpret_cast<const char*>(data), size);
  const auto parsed = ParseAssignment(argument);
  const auto* assignment = std::get_if<Assignment>(&parsed);
  if (!assignment) {
    Check(!std::get<std::string>(parsed).empty());
    return 0;
  }
  Check(assignment->option != nullptr);
  FileInfo info;
  ConfigImage image;
  const ImageBytes before = image.Bytes();
  if (SetValue(*assignment->option, assignment->value, info, image)) {
    Check(image.Bytes() == before);
    return 0;
  }
  const std::string shown = ShowValue(*assignment->option, info, image);
  FileInfo again = info;
  ConfigImage copy = image;
  Check(!SetValue(*assignment->option, shown, again, copy));
  Check(copy.Bytes() == image.Bytes());
  Check(ShowValue(*assignment->option, again, copy) == shown);
  return 0;
}
