#include "childwindows.h"

#include <gtest/gtest.h>

#include <cstring>

#include "toolbarart.h"

namespace q5r {
namespace {

TEST(ChildWindows, MagnetSwitchSwapsPagesForTheirCounterparts) {
  const int expected[kChildWindowCount + 1] = {0, 8, 6, 0, 7, 5, 2, 4, 1, 0};
  for (int n = 1; n <= kChildWindowCount; ++n) {
    EXPECT_EQ(WindowInfo(n).number, n);
    EXPECT_EQ(WindowInfo(n).counterpart, expected[n]) << "window " << n;
    // A swap and a swap back lands where it started, and on the other device.
    if (const int other = WindowInfo(n).counterpart; other != 0 && other != n) {
      EXPECT_EQ(WindowInfo(other).counterpart, n);
      EXPECT_NE(WindowInfo(other).device, WindowInfo(n).device);
    }
  }
}

TEST(ChildWindows, ToolbarButtonsFollowTheDeviceMode) {
  EXPECT_EQ(WindowForCommand(IDT_IRM, false), 1);
  EXPECT_EQ(WindowForCommand(IDT_COM, false), 2);
  EXPECT_EQ(WindowForCommand(IDT_BAR, false), 3);
  EXPECT_EQ(WindowForCommand(IDT_MIS, false), 4);
  EXPECT_EQ(WindowForCommand(IDT_IRM, true), 8);
  EXPECT_EQ(WindowForCommand(IDT_COM, true), 6);
  EXPECT_EQ(WindowForCommand(IDT_BAR, true), 0);
  EXPECT_EQ(WindowForCommand(IDT_MIS, true), 7);
  for (bool magnetic : {false, true}) {
    EXPECT_EQ(WindowForCommand(IDT_TRANSMIT, magnetic), 5);
    EXPECT_EQ(WindowForCommand(IDM_MAG_TRANSMIT, magnetic), 5);
    EXPECT_EQ(WindowForCommand(IDM_TOOLS_RDM, magnetic), 9);
    EXPECT_EQ(WindowForCommand(IDM_FILE_NEW, magnetic), 0);
  }
  // Every menu entry of a page opens the page whose entry it is.
  for (const ChildWindowInfo& info : kChildWindows) {
    if (info.checkedMenu != 0) {
      EXPECT_EQ(WindowForCommand(info.checkedMenu, false), info.number);
    }
  }
}

TEST(ToolbarArt, EveryImageIsSixteenRowsOfSixteenKnownColours) {
  for (const ToolbarImage& image : kToolbarImages) {
    for (const char* row : image) {
      ASSERT_EQ(std::strlen(row), static_cast<std::size_t>(kToolbarImageSize)) << row;
      for (const char* c = row; *c; ++c) {
        EXPECT_TRUE(*c == '.' || ToolbarPaletteColor(*c) != kToolbarMaskColor) << row;
      }
    }
  }
}

}  // namespace
}  // namespace q5r
