// The decoder link's windows: Transmit (5) and Read Decoder Memory (9).
#pragma once

#include <memory>

#include "childwindow_win.h"

namespace q5r {

// The link window numbered `number`, or nothing when it is not one of them.
std::unique_ptr<ChildWindow> MakeLinkWindow(const ChildContext& context, int number);

std::unique_ptr<ChildWindow> MakeTransmitWindow(const ChildContext& context);
std::unique_ptr<ChildWindow> MakeReadMemoryWindow(const ChildContext& context);

}  // namespace q5r
