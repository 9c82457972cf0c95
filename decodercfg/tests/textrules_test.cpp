#include "pages/textrules.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace q5r {
namespace {

using Slots4 = std::array<std::uint8_t, 4>;
using Slots8 = std::array<std::uint8_t, 8>;

Slots4 Store4(std::string_view text) {
  Slots4 s{1, 2, 3, 4};  // anything but what the rule writes
  TextToSlots(text, s);
  return s;
}

Slots8 Store8(std::string_view text) {
  Slots8 s{};
  TextToSlots(text, s);
  return s;
}

TEST(ControlNames, EveryCodeHasOneNameThatReadsBackInEitherCase) {
  const std::vector<std::string> names = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                          "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                          "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                          "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  ASSERT_EQ(kControlNames.size(), 96u);
  for (int code = 0; code < kControlCount; ++code) {
    EXPECT_EQ(ControlName(code), names[static_cast<std::size_t>(code)]);
    EXPECT_EQ(ControlCode(names[static_cast<std::size_t>(code)]), code);
    std::string lower = names[static_cast<std::size_t>(code)];
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    EXPECT_EQ(ControlCode(lower), code) << lower;
  }
  EXPECT_EQ(ControlName(32), "");
  // Three letters that straddle two cells are no name.
  EXPECT_EQ(ControlCode("LBS"), std::nullopt);
  EXPECT_EQ(ControlCode("TXE"), std::nullopt);
  EXPECT_EQ(ControlCode("X"), std::nullopt);
  EXPECT_EQ(ControlCode("ESCX"), std::nullopt);
}

TEST(InsertionText, BracedNamesBecomeTheirCodes) {
  EXPECT_EQ(Store4("{cr}AB"), (Slots4{13, 'A', 'B', 255}));
  EXPECT_EQ(Store4("{BS}"), (Slots4{8, 255, 255, 255}));
  EXPECT_EQ(Store4("{bs}"), (Slots4{8, 255, 255, 255}));
  EXPECT_EQ(Store4("{DLE}{US}{nul}"), (Slots4{16, 31, 0, 255}));
  EXPECT_EQ(Store4("{Esc}x"), (Slots4{27, 'x', 255, 255}));
  EXPECT_EQ(Store8("AB{CR}{LF}"), (Slots8{'A', 'B', 13, 10, 255, 255, 255, 255}));
}

TEST(InsertionText, AnythingThatIsNoBracedNameIsStoredCharacterByCharacter) {
  EXPECT_EQ(Store4("{CR"), (Slots4{'{', 'C', 'R', 255}));
  EXPECT_EQ(Store4("{X}"), (Slots4{'{', 'X', '}', 255}));   // fewer than two between
  EXPECT_EQ(Store4("{}"), (Slots4{'{', '}', 255, 255}));
  EXPECT_EQ(Store4("{XYZ}"), (Slots4{'{', 'X', 'Y', 'Z'}));  // "}" is a fifth character
  EXPECT_EQ(Store8("{C}"), (Slots8{'{', 'C', '}', 255, 255, 255, 255, 255}));
  EXPECT_EQ(Store8("{XYZ}"), (Slots8{'{', 'X', 'Y', 'Z', '}', 255, 255, 255}));
  // A brace that opens no name leaves the next one free to open a name.
  EXPECT_EQ(Store4("{{CR}"), (Slots4{'{', 13, 255, 255}));
  // Bytes above 127 (ANSI letters) stand for themselves.
  EXPECT_EQ(Store4("\xE9\xFC"), (Slots4{0xE9, 0xFC, 255, 255}));
}

TEST(InsertionText, TextBeyondTheRunIsDroppedAndAnEmptyTextEmptiesIt) {
  EXPECT_EQ(Store4("ABCDEF"), (Slots4{'A', 'B', 'C', 'D'}));
  EXPECT_EQ(Store4("ABC{CR}{LF}"), (Slots4{'A', 'B', 'C', 13}));
  EXPECT_EQ(Store8("0123456789"), (Slots8{'0', '1', '2', '3', '4', '5', '6', '7'}));
  EXPECT_EQ(Store4(""), (Slots4{255, 255, 255, 255}));
  EXPECT_EQ(Store8(""), (Slots8{255, 255, 255, 255, 255, 255, 255, 255}));
}

TEST(InsertionText, ShownTextStopsAtTheFirstEmptySlotAndReadsBackTheSame) {
  EXPECT_EQ(SlotsToText(Slots4{13, 'A', 'B', 255}), "{CR}AB");
  EXPECT_EQ(SlotsToText(Slots8{2, 'A', 255, 'Z', 'Z', 'Z', 'Z', 'Z'}), "{STX}A");
  EXPECT_EQ(SlotsToText(Slots4{255, 'A', 'B', 'C'}), "");
  EXPECT_EQ(SlotsToText(Slots4{0, 31, 32, 127}), "{NUL}{US} \x7F");
  // Every run the page can show is stored back as it was.
  for (const Slots8& run : {Slots8{13, 10, 9, 'x', 0, 255, 255, 255}, Slots8{'%', 'A', 200, 1, 2, 3, 4, 5}}) {
    EXPECT_EQ(Store8(SlotsToText(run)), run);
  }
  // Ordinary braces and letters from a file read back as the control code.
  EXPECT_EQ(SlotsToText(Slots4{'{', 'C', 'R', '}'}), "{CR}");
  EXPECT_EQ(Store4(SlotsToText(Slots4{'{', 'C', 'R', '}'})), (Slots4{13, 255, 255, 255}));
  // Bytes after the first empty slot are emptied when stored back.
  EXPECT_EQ(Store8(SlotsToText(Slots8{'A', 255, 'B', 'C', 'D', 'E', 'F', 'G'})),
            (Slots8{'A', 255, 255, 255, 255, 255, 255, 255}));
}

TEST(CodeIdBox, OneCharacterIsStoredControlsAndNothingStoreZeroAndMoreIsRefused) {
  EXPECT_EQ(ReadCodeId("Q").code, 'Q');
  EXPECT_FALSE(ReadCodeId("Q").tooLong);
  EXPECT_EQ(ReadCodeId(" ").code, ' ');
  EXPECT_EQ(ReadCodeId("\xE9").code, 0xE9);
  EXPECT_EQ(ReadCodeId("").code, 0);
  EXPECT_EQ(ReadCodeId("\x1F").code, 0);
  EXPECT_EQ(ReadCodeId("\x0D").code, 0);
  EXPECT_TRUE(ReadCodeId("AB").tooLong);
  EXPECT_EQ(ReadCodeId("AB").code, 0);
  EXPECT_EQ(CodeIdText(0), "");
  EXPECT_EQ(CodeIdText('A'), "A");
  EXPECT_EQ(CodeIdText(13), "\r");  // shown as the raw character; stored back as 0
}

TEST(SeparatorCombo, ChosenEntryStoresItsPositionTypedTextItsFirstCharacter) {
  EXPECT_EQ(SeparatorByte(27, "ESC"), 27);
  EXPECT_EQ(SeparatorByte(0, "NUL"), 0);
  EXPECT_EQ(SeparatorByte(-1, "A"), 65);
  EXPECT_EQ(SeparatorByte(-1, "CR"), 'C');  // typed, not chosen: only its first character
  EXPECT_EQ(SeparatorByte(-1, ";"), ';');
  EXPECT_EQ(SeparatorByte(-1, "\xB0"), 0xB0);
  EXPECT_EQ(SeparatorByte(-1, ""), std::nullopt);
}

TEST(TruncationCombo, OnlyWholeNumbersThatFitFourBitsAreTaken) {
  for (int n = 0; n <= 15; ++n) EXPECT_EQ(ParseTruncation(std::to_string(n)), n);
  EXPECT_EQ(ParseTruncation(" 7 "), 7);
  EXPECT_EQ(ParseTruncation("07"), 7);
  for (std::string_view bad : {"", " ", "16", "99", "255", "-1", "x", "3x", "1.5", "+3", "007"}) {
    EXPECT_EQ(ParseTruncation(bad), std::nullopt) << bad;
  }
}

TEST(Mnemonics, TheCharacterAfterTheAmpersandUpperCased) {
  EXPECT_EQ(Mnemonic(L"Code 12&8"), L'8');
  EXPECT_EQ(Mnemonic(L"Coda&bar"), L'B');
  EXPECT_EQ(Mnemonic(L"&RS232"), L'R');
  EXPECT_EQ(Mnemonic(L"Tom && Jerry"), 0);
  EXPECT_EQ(Mnemonic(L"A && &b"), L'B');
  EXPECT_EQ(Mnemonic(L"Trailing&"), 0);
}

}  // namespace
}  // namespace q5r
