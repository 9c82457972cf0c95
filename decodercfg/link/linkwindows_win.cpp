#include "link/linkwindows_win.h"

namespace q5r {

std::unique_ptr<ChildWindow> MakeLinkWindow(const ChildContext& context, int number) {
  switch (number) {
    case 5: return MakeTransmitWindow(context);
    case 9: return MakeReadMemoryWindow(context);
    default: return nullptr;
  }
}

}  // namespace q5r
