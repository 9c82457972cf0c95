// The main window's child windows, numbered 1..9 as the main window tracks
// them: which menu entry each checks, which "Set All Default" entry it
// disables, how it opens, and its counterpart on the other device.
#pragma once

#include <array>

#include "resource.h"

namespace q5r {

enum class Device { kBarDecoder, kMagReader, kNone };

struct ChildWindowInfo {
  int number;
  const wchar_t* caption;
  Device device;      // which device mode choosing the window selects
  int checkedMenu;    // menu entry checked while open, 0 = none
  int defaultMenu;    // "Set All Default" entry disabled while open, 0 = none
  bool maximised;
  int counterpart;    // opened instead when the toolbar switches device, 0 = none
};

inline constexpr int kChildWindowCount = 9;

inline constexpr std::array<ChildWindowInfo, kChildWindowCount> kChildWindows = {{
    {1, L"Interface", Device::kBarDecoder, IDM_CONFIG_INTERFACE, IDM_CONFIG_DEFAULT, false, 8},
    {2, L"Communication Parameters", Device::kBarDecoder, IDM_CONFIG_COMM, IDM_CONFIG_DEFAULT, false, 6},
    {3, L"Bar Codes and Others", Device::kBarDecoder, IDM_CONFIG_BAR, IDM_CONFIG_DEFAULT, false, 0},
    {4, L"Miscellaneous Parameters", Device::kBarDecoder, IDM_CONFIG_MISC, IDM_CONFIG_DEFAULT, false, 7},
    {5, L"Transmit", Device::kNone, 0, IDM_CONFIG_DEFAULT, true, 5},
    {6, L"Communication Parameters", Device::kMagReader, IDM_MAG_COMM, IDM_MAG_DEFAULT, false, 2},
    {7, L"Miscellaneous Parameters", Device::kMagReader, IDM_MAG_MISC, IDM_MAG_DEFAULT, false, 4},
    {8, L"Interface", Device::kMagReader, IDM_MAG_INTERFACE, IDM_MAG_DEFAULT, false, 1},
    {9, L"Read Decoder Memory", Device::kNone, 0, 0, true, 0},
}};

// Info of window `number` (1..9).
constexpr const ChildWindowInfo& WindowInfo(int number) { return kChildWindows.at(number - 1); }

// The window a menu or toolbar command opens, 0 when the command opens none.
// `magneticMode` matters for the four device-neutral toolbar buttons.
int WindowForCommand(int commandId, bool magneticMode);

}  // namespace q5r
