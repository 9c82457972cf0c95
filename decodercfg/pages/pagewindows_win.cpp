#include "pages/pagewindows_win.h"

namespace q5r {

std::unique_ptr<ChildWindow> MakePageWindow(const ChildContext&, int) {
  return nullptr;  // the pages open empty until they are built
}

}  // namespace q5r
