// CRTP base for our windows: stores `this` at WM_NCCREATE and forwards every
// message to Derived::HandleMessage. Derived also provides DefaultProc (which
// calls DefWindowProc, DefFrameProc or DefMDIChildProc as fits the window).
// MDI children get `this` through MDICREATESTRUCT::lParam.
#pragma once

#include <windows.h>

namespace kit {

// `pixels` at 96 DPI as so many at the screen's DPI: the programs declare
// themselves DPI aware, so Windows no longer stretches them and every size
// they give in pixels is theirs to scale.
inline int ScaleForDpi(int pixels) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return MulDiv(pixels, dpi > 0 ? dpi : 96, 96);
}

template <class Derived>
class BaseWindow {
 public:
  HWND hwnd() const { return hwnd_; }

 protected:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    Derived* self = nullptr;
    if (msg == WM_NCCREATE) {
      const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
      LPARAM param = reinterpret_cast<LPARAM>(cs->lpCreateParams);
      if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_MDICHILD) {
        param = reinterpret_cast<const MDICREATESTRUCTW*>(cs->lpCreateParams)->lParam;
      }
      self = reinterpret_cast<Derived*>(param);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    const LRESULT result = self->HandleMessage(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }

  HWND hwnd_ = nullptr;
};

}  // namespace kit
