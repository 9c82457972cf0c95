// guidriver_target: a small window with one of each thing guidriver drives
// (menu with a nested pop-up, message box, Save As dialog, toolbar with a
// check button, menu-state channel). Every action writes a line to the
// status static (IDC_STATUS), which the self-test reads back.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "guidriver_target_ids.h"
#include "window_win.h"

namespace {

constexpr wchar_t kClassName[] = L"GuidriverTarget";
constexpr wchar_t kMenuStateMessage[] = L"GuidriverTarget.MenuState";

class TargetWindow : public kit::BaseWindow<TargetWindow> {
 public:
  bool Create(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return false;
    menuState_ = RegisterWindowMessageW(kMenuStateMessage);
    return CreateWindowExW(0, kClassName, L"Guidriver Target", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           480, 260, nullptr, LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TARGETMENU)), instance,
                           this) != nullptr;
  }

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == menuState_ && menuState_ != 0) {
      return static_cast<LRESULT>(GetMenuState(GetMenu(hwnd_), static_cast<UINT>(wp), MF_BYCOMMAND));
    }
    switch (msg) {
      case WM_CREATE:
        OnCreate();
        return 0;
      case WM_SIZE:
        SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
        return 0;
      case WM_COMMAND:
        OnCommand(LOWORD(wp));
        return 0;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcW(hwnd_, msg, wp, lp);
    }
  }

 private:
  void OnCreate() {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT, 0, 0, 0, 0,
                               hwnd_, nullptr, instance, nullptr);
    SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolbar_, TB_LOADIMAGES, IDB_STD_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    TBBUTTON buttons[] = {
        {STD_FILENEW, IDT_STICKY, TBSTATE_ENABLED, BTNS_CHECK, {}, 0, 0},
        {STD_FILEOPEN, IDT_PLAIN, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {STD_FILESAVE, IDT_DISABLED, 0, BTNS_BUTTON, {}, 0, 0},
    };
    SendMessageW(toolbar_, TB_ADDBUTTONS, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    CreateWindowExW(0, L"Button", L"&Ask", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 50, 90, 26, hwnd_,
                    reinterpret_cast<HMENU>(IDC_ASK), instance, nullptr);
    CreateWindowExW(0, L"Button", L"&Save", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 110, 50, 90, 26, hwnd_,
                    reinterpret_cast<HMENU>(IDC_SAVE), instance, nullptr);
    status_ = CreateWindowExW(0, L"Static", L"ready", WS_CHILD | WS_VISIBLE, 10, 90, 440, 60, hwnd_,
                              reinterpret_cast<HMENU>(IDC_STATUS), instance, nullptr);
  }

  void OnCommand(UINT id) {
    switch (id) {
      case IDC_ASK: {
        const int answer = MessageBoxW(hwnd_, L"Keep the changes?", L"Target Question", MB_YESNOCANCEL | MB_ICONQUESTION);
        Status(answer == IDYES ? L"answer: yes" : answer == IDNO ? L"answer: no" : L"answer: cancel");
        break;
      }
      case IDC_SAVE: {
        wchar_t path[MAX_PATH] = L"initial.cfg";
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hwnd_;
        ofn.lpstrFilter = L"Configuration files (*.cfg)\0*.cfg\0All files\0*.*\0";
        ofn.lpstrFile = path;
        ofn.nMaxFile = MAX_PATH;
        ofn.lpstrDefExt = L"cfg";
        ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
        Status(GetSaveFileNameW(&ofn) ? L"saved: " + std::wstring(path) : std::wstring(L"save cancelled"));
        break;
      }
      case IDM_BEEP: {
        HMENU menu = GetMenu(hwnd_);
        const bool checked = (GetMenuState(menu, IDM_BEEP, MF_BYCOMMAND) & MF_CHECKED) != 0;
        CheckMenuItem(menu, IDM_BEEP, MF_BYCOMMAND | (checked ? MF_UNCHECKED : MF_CHECKED));
        Status(checked ? L"beep off" : L"beep on");
        break;
      }
      case IDT_STICKY:
        Status(L"tool " + std::to_wstring(id) + L" checked=" +
               std::to_wstring(SendMessageW(toolbar_, TB_ISBUTTONCHECKED, id, 0) != 0));
        break;
      case IDM_EXIT:
        DestroyWindow(hwnd_);
        break;
      default:
        Status((id >= IDT_STICKY ? L"tool " : L"command ") + std::to_wstring(id));
        break;
    }
  }

  void Status(const std::wstring& text) { SetWindowTextW(status_, text.c_str()); }

  UINT menuState_ = 0;
  HWND toolbar_ = nullptr;
  HWND status_ = nullptr;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  TargetWindow window;
  if (!window.Create(instance)) return 1;
  ShowWindow(window.hwnd(), show);
  UpdateWindow(window.hwnd());
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
