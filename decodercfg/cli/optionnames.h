// Every option of both decoders by the names the pages show, for the
// command-line program: "Device / Page / Tab / Group = Value".
//
//   Device  the main menu that opens the page ("Bar_Decoder", "Magnic_Reader";
//           "bar" and "mag" are accepted too)
//   Page    the page's caption ("Communication Parameters")
//   Tab     the tab's caption without its accelerator ("RS232")
//   Group   the option group's caption, or the check box's or text box's
//           own label; where a frame groups several check boxes with the
//           same captions, the frame's caption comes first
//           ("Transmission Type of Stop / A")
//   Value   the caption of the chosen option, "ON"/"OFF" for a check box,
//           or the text a text box or combo box shows
//
// A name given by the user may leave out any of the leading components as
// long as it still names one option: "Bar_Decoder / Baud Rate",
// "Code 39 / Check Digit". Names and values are compared without regard to
// letter case, accelerator ampersands or runs of blanks.
//
// The options are built from the page tables (pagetables.h) and the text
// rules (textrules.h); nothing here knows a byte of the image by itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cfgfile.h"
#include "image.h"
#include "pages/pagetables.h"

namespace q5r::cli {

enum class OptionKind {
  kChoice,      // an option group of a page table
  kCheck,       // a check box of a page table
  kFileText,    // a user information text (stored beside the image)
  kCodeId,      // a one-character code ID box
  kTrackChar,   // a one-character start or end character box
  kInsertion,   // a prefix or suffix insertion text
  kTruncation,  // a truncation combo: 0..15 characters
  kSeparator,   // the separator combo: a control character name or one character
};

struct Option {
  std::vector<std::string> path;  // device, page, tab, [frame,] group
  OptionKind kind = OptionKind::kChoice;
  const Field* field = nullptr;             // kChoice, kCheck
  std::string FileInfo::*text = nullptr;    // kFileText
  int byte = 0;                             // kCodeId, kTrackChar, kSeparator, kTruncation
  int mask = 0;                             // kTruncation
  SlotRun run{0, 0};                        // kInsertion
  bool barDecoder = true;                   // which device's page shows it

  // "Bar_Decoder / Communication Parameters / RS232 / Baud Rate"
  std::string Name() const;
};

// Every option, page by page in menu order, both devices.
const std::vector<Option>& AllOptions();

// What the page shows for the option.
std::string ShowValue(const Option& option, const FileInfo& info, const ConfigImage& image);

// The bits of each image byte that some option shows (a whole byte for a
// character box or an insertion slot).
ImageBytes ShownBits();

// The values the option takes, for messages: the option captions of a
// group, or a description of what a text box takes.
std::string ValidValues(const Option& option);

// Stores `value` into the option. Nothing is changed when the value is
// refused; the message then says why and names the valid values.
std::optional<std::string> SetValue(const Option& option, std::string_view value, FileInfo& info,
                                    ConfigImage& image);

// The options a name given by the user names (empty: unknown; two or more:
// ambiguous).
std::vector<const Option*> FindOptions(std::string_view name);

// One "Name=Value" argument, checked: the option and the value as given.
struct Assignment {
  const Option* option = nullptr;
  std::string value;
};

// Splits the argument at the last "=" whose left side names an option (a
// caption such as "UPC-A=EAN-13" holds one itself), and refuses an unknown
// or ambiguous name with a message listing the candidates. The value is
// not checked here: SetValue does that.
std::variant<Assignment, std::string> ParseAssignment(std::string_view argument);

// "case-folded, no ampersands, single blanks, no blanks around '/'".
std::string NormalizeName(std::string_view text);

}  // namespace q5r::cli
