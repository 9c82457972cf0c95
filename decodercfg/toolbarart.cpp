#include "toolbarart.h"

namespace q5r {

// clang-format off
const std::array<ToolbarImage, kToolbarImageCount> kToolbarImages = {{
  {  // new: a blank page with a folded corner
    "................", "..kkkkkkkk......", "..kwwwwwwkk.....", "..kwwwwwwkwk....",
    "..kwwwwwwkkkk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...",
    "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...",
    "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kkkkkkkkkkk...", "................"},
  {  // open: an opened yellow folder
    "................", "................", "..........kkk...", ".........k...k.k",
    "..............kk", ".kkk.........kkk", "kyyykkkkkkk.....", "kyyyyyyyyyk.....",
    "kyyyykkkkkkkkkkk", "kyyykoooooooooko", "kyykoooooooooko.", "kykoooooooooko..",
    "kkoooooooooko...", "kkkkkkkkkkkk....", "................", "................"},
  {  // save: a floppy disk
    "................", ".kkkkkkkkkkkkkk.", ".knkwwwwwwwwknk.", ".knkwwwwwwwwknk.",
    ".knkwwwwwwwwknk.", ".knkwwwwwwwwknk.", ".knkkkkkkkkkknk.", ".knnnnnnnnnnnnk.",
    ".knnkkkkkkkknnk.", ".knnkggkwwgknnk.", ".knnkggkwwgknnk.", ".knnkggkwwgknnk.",
    ".knnkggkwwgknnk.", "..kkkkkkkkkkkkk.", "................", "................"},
  {  // interface: a plug on its cable
    "................", ".....k....k.....", ".....k....k.....", ".....k....k.....",
    "...kkkkkkkkkk...", "...kggggggggk...", "...kggggggggk...", "...kggggggggk...",
    "....kggggggk....", ".....kggggk.....", "......kddk......", ".......kk.......",
    ".......bb.......", ".......bb.......", "......bb........", ".....bb........."},
  {  // communication: arrows both ways
    "................", "................", "..........k.....", "..........kk....",
    "..kkkkkkkkkbk...", "..kbbbbbbbbbbk..", "..kkkkkkkkkbk...", "..........kk....",
    "....k.....k.....", "...kk...........", "..krkkkkkkkkk...", ".krrrrrrrrrrk...",
    "..krkkkkkkkkk...", "...kk...........", "....k...........", "................"},
  {  // bar codes: black bars on white
    "................", ".kkkkkkkkkkkkkk.", ".kwwwwwwwwwwwwk.", ".kwkwkkwkwkkwwk.",
    ".kwkwkkwkwkkwwk.", ".kwkwkkwkwkkwwk.", ".kwkwkkwkwkkwwk.", ".kwkwkkwkwkkwwk.",
    ".kwkwkkwkwkkwwk.", ".kwkwkkwkwkkwwk.", ".kwkwkkwkwkkwwk.", ".kwwwwwwwwwwwwk.",
    ".kwkwkkwkwkwkwk.", ".kwwwwwwwwwwwwk.", ".kkkkkkkkkkkkkk.", "................"},
  {  // miscellaneous: a checklist
    "................", ".kkkkkkkkkkkkk..", ".kwwwwwwwwwwwk..", ".kwrwwkkkkkkwk..",
    ".kwwrwwwwwwwwk..", ".kwwwwwwwwwwwk..", ".kwrwwkkkkkkwk..", ".kwwrwwwwwwwwk..",
    ".kwwwwwwwwwwwk..", ".kwrwwkkkkkkwk..", ".kwwrwwwwwwwwk..", ".kwwwwwwwwwwwk..",
    ".kwrwwkkkkkwwk..", ".kwwwwwwwwwwwk..", ".kkkkkkkkkkkkk..", "................"},
  {  // transmit: a screen and a decoder box with an arrow between them
    "................", "kkkkkkk.........", "kbbbbbk.........", "kbbbbbk.........",
    "kbbbbbk.........", "kkkkkkk.........", "..kkk...........", ".kkkkk..........",
    "........r.......", "........rr......", "...rrrrrrrr.....", "........rr......",
    "........r.kkkkkk", "..........kggggk", "..........kgkkgk", "..........kkkkkk"},
  {  // magnet reader: a card with its stripe
    "................", "................", "................", ".kkkkkkkkkkkkkk.",
    ".kwwwwwwwwwwwwk.", ".kkkkkkkkkkkkkk.", ".kkkkkkkkkkkkkk.", ".kwwwwwwwwwwwwk.",
    ".kwbbbbwwwwwwwk.", ".kwwwwwwwwwwwwk.", ".kwbbbbbbbwwwwk.", ".kwwwwwwwwwwwwk.",
    ".kkkkkkkkkkkkkk.", "................", "................", "................"},
}};
// clang-format on

std::uint32_t ToolbarPaletteColor(char c) {
  switch (c) {
    case 'k': return 0x000000;
    case 'w': return 0xFFFFFF;
    case 'g': return 0xC0C0C0;
    case 'd': return 0x808080;
    case 'y': return 0xFFE060;
    case 'b': return 0x2060E0;
    case 'r': return 0xD02020;
    case 'n': return 0x203080;
    case 'o': return 0xC08040;
    default: return kToolbarMaskColor;
  }
}

}  // namespace q5r
