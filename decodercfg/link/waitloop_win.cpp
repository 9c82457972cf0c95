#include "link/waitloop_win.h"

#include <windows.h>

namespace q5r {

namespace {

// How long one pass sleeps when no message arrives: a serial reply polled
// by `done` is seen about a millisecond after it is in, which is what each
// block of a memory read waits on top of the wire.
constexpr DWORD kPassMs = 1;

void DispatchPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (done()) return true;
    if (timeoutMs != kWaitForever && GetTickCount64() - start >= static_cast<ULONGLONG>(timeoutMs)) {
      return false;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPassMs, QS_ALLINPUT);
    DispatchPending();
  }
}

}  // namespace q5r
