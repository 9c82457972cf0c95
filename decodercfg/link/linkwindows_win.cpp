#include "link/linkwindows_win.h"

namespace q5r {

std::unique_ptr<ChildWindow> MakeLinkWindow(const ChildContext&, int) {
  return nullptr;  // the link windows open empty until they are built
}

}  // namespace q5r
