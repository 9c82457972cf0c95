// Text rules of the option pages, free of any window: the insertion text of a
// run of character slots (prefix and suffix, four slots for the bar-code
// decoder, eight for each magnetic track), the one-character boxes, the
// separator combo and the truncation combos. Texts are bytes in the ANSI
// code page, one byte a character.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace q5r {

// Names of the control characters 0..31 in three-character cells, two-letter
// names padded with one blank.
inline constexpr std::string_view kControlNames =
    "NULSOHSTXETXEOTENQACKBELBS HT LF VT FF CR SO SI DLEDC1DC2DC3DC4NAKSYNETBCANEM SUBESCFS GS RS US ";
inline constexpr int kControlCount = 32;

// "CR" for 13: the name of control character `code` (0..31) without blanks.
std::string ControlName(int code);
// The code of a name in either letter case ("cr" -> 13), or nothing.
std::optional<int> ControlCode(std::string_view name);

// The insertion text of a run of slots: stops at the first empty slot (255),
// writes control characters as their braced names ({CR}) and every other
// code as itself.
std::string SlotsToText(std::span<const std::uint8_t> slots);

// Stores an insertion text into a run of slots: braced names (two or three
// letters, any case) become their codes, everything else is stored character
// by character; characters beyond the run are dropped and the slots after
// the text are emptied (255). An empty text empties the whole run.
void TextToSlots(std::string_view text, std::span<std::uint8_t> slots);

// A code ID box. `tooLong` means the box holds two or more characters: the
// user is told so and the box is emptied. Otherwise `code` is the byte to
// store: the character's code, or 0 for an empty box or a control character.
struct CodeIdInput {
  bool tooLong = false;
  std::uint8_t code = 0;
};
CodeIdInput ReadCodeId(std::string_view text);
// What a code ID box shows for `code`: empty for 0, else the character.
std::string CodeIdText(std::uint8_t code);

// The separator combo: a chosen list entry (0..31) stores its position;
// typed text (no entry chosen) stores the code of its first character.
// Nothing when there is neither.
std::optional<std::uint8_t> SeparatorByte(int chosenEntry, std::string_view text);

// A truncation combo's text as the number of characters to cut, or nothing
// when it is not a whole decimal number 0..15 (blanks around it allowed):
// the field is four bits wide, so anything else would spill into the
// neighbouring field.
std::optional<int> ParseTruncation(std::string_view text);

// The mnemonic character of a caption ("Code 12&8" -> '8'), upper-cased
// (ASCII letters); 0 when there is none. "&&" is a literal ampersand.
wchar_t Mnemonic(std::wstring_view caption);

}  // namespace q5r
