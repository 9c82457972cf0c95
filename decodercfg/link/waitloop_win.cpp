#include "link/waitloop_win.h"

#include <windows.h>

namespace q5r {

namespace {

// How long one pass sleeps when no message arrives: a condition that no
// message changes is seen within this.
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

bool PumpUntilSignalled(HANDLE event, int timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD wait = INFINITE;
    if (timeoutMs != kWaitForever) {
      const ULONGLONG passed = GetTickCount64() - start;
      if (passed >= static_cast<ULONGLONG>(timeoutMs)) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
      wait = static_cast<DWORD>(static_cast<ULONGLONG>(timeoutMs) - passed);
    }
    const DWORD woke = MsgWaitForMultipleObjects(1, &event, FALSE, wait, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke == WAIT_FAILED) return false;
    DispatchPending();
  }
}

}  // namespace q5r
