// The toolbar's 16x16 button images as character art, one string per row.
// Palette: '.' transparent, 'k' black, 'w' white, 'g' grey, 'd' dark grey,
// 'y' yellow, 'b' blue, 'r' red, 'n' dark blue, 'o' brown.
#pragma once

#include <array>
#include <cstdint>

namespace q5r {

inline constexpr int kToolbarImageSize = 16;
using ToolbarImage = std::array<const char*, kToolbarImageSize>;

enum ToolbarImageIndex { kImgNew, kImgOpen, kImgSave, kImgInterface, kImgComm, kImgBar, kImgMisc,
                         kImgTransmit, kImgMag, kToolbarImageCount };

extern const std::array<ToolbarImage, kToolbarImageCount> kToolbarImages;

// 0x00RRGGBB of a palette character; transparent and unknown characters give
// the mask colour 0x00FF00FF.
std::uint32_t ToolbarPaletteColor(char c);
inline constexpr std::uint32_t kToolbarMaskColor = 0x00FF00FF;

}  // namespace q5r
