// linkmarks.dll: time marks taken inside the program under measurement.
//
// link_bench hooks Q5RSetup's window thread with the two procedures below
// (SetWindowsHookEx with this module, so the system loads the module into
// Q5RSetup). Each mark is the performance counter at the moment the program
// itself got there, written to a small named mapping both processes open:
//   click     the thread took a posted button press from its queue
//             (BM_CLICK, or WM_COMMAND/BN_CLICKED from a control);
//   created   a dialog window (#32770, which is what a message box is) is
//             being created;
//   activated a dialog window is being activated, i.e. it is on screen;
//   destroyed a dialog window is being destroyed, the last step of a
//             message box that has been answered.
// So "created - click" is the operation up to the moment the program asks
// for its result message, free of how long the message box itself and the
// bench's polling take, and "activated - created" is the box's own cost.
// For an operation that asks first, "created - destroyed" starts once its
// question box has gone, and "destroyed - click" is what closing it cost.
#include "linkmarks_win.h"

namespace {

HANDLE g_mapping = nullptr;
linkmarks::Marks* g_marks = nullptr;

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

bool IsDialog(HWND hwnd) {
  wchar_t name[16] = {};
  return GetClassNameW(hwnd, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK LinkMarksGetMessage(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE && g_marks) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    const bool press = msg->message == BM_CLICK ||
                       (msg->message == WM_COMMAND && HIWORD(msg->wParam) == BN_CLICKED && msg->lParam != 0);
    if (press) InterlockedExchange64(&g_marks->click, Now());
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK LinkMarksCbt(int code, WPARAM wParam, LPARAM lParam) {
  volatile LONGLONG* mark = nullptr;
  if (g_marks) {
    if (code == HCBT_CREATEWND) mark = &g_marks->created;
    if (code == HCBT_ACTIVATE) mark = &g_marks->activated;
    if (code == HCBT_DESTROYWND) mark = &g_marks->destroyed;
  }
  if (mark) {
    const LONGLONG now = Now();
    if (IsDialog(reinterpret_cast<HWND>(wParam))) InterlockedExchange64(mark, now);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(linkmarks::Marks),
                                   linkmarks::kMappingName);
    if (g_mapping) {
      g_marks = static_cast<linkmarks::Marks*>(
          MapViewOfFile(g_mapping, FILE_MAP_WRITE, 0, 0, sizeof(linkmarks::Marks)));
    }
  } else if (reason == DLL_PROCESS_DETACH) {
    if (g_marks) UnmapViewOfFile(g_marks);
    if (g_mapping) CloseHandle(g_mapping);
  }
  return TRUE;
}
