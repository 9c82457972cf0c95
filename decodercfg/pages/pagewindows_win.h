// The option pages (windows 1-4 and 6-8).
#pragma once

#include <memory>

#include "childwindow_win.h"

namespace q5r {

// The page numbered `number`, or nothing when `number` is not a page.
std::unique_ptr<ChildWindow> MakePageWindow(const ChildContext& context, int number);

}  // namespace q5r
