#include <windows.h>

#include "dialogs_win.h"
#include "msgbox_win.h"
#include "resource.h"
#include "text_win.h"

namespace opos {

namespace {

constexpr wchar_t kNotSelectedText[] = L"Not Selected";
constexpr wchar_t kNotInstalled[] = L"Control Object Not Installed";
constexpr wchar_t kOposFailure[] = L"OPOS Failure";
constexpr wchar_t kOposSuccess[] = L"OPOS Success";

constexpr int kDrawerPolls = 5;
constexpr DWORD kDrawerPollSleepMs = 2000;

int ControlId(DeviceId id, int role) {
  return IDC_DEVICE_BASE + IDC_DEVICE_STRIDE * static_cast<int>(id) + role;
}

struct MainDialog {
  Session& session;
  HWND hwnd = nullptr;

  Registrations& regs() { return *session.registrations; }
  HWND Item(DeviceId id, int role) { return GetDlgItem(hwnd, ControlId(id, role)); }
  void SetText(DeviceId id, int role, const std::wstring& text) {
    SetDlgItemTextW(hwnd, ControlId(id, role), text.c_str());
  }

  void FillPorts(DeviceId id) {
    HWND list = Item(id, IDC_ROLE_PORT);
    if (!list) return;
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& port : regs().View(id).ports) {
      SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kit::FromUtf8(port).c_str()));
    }
  }

  // The list sorts its entries, so the selection is found by text.
  void SelectPort(DeviceId id) {
    HWND list = Item(id, IDC_ROLE_PORT);
    if (!list) return;
    const DeviceView& view = regs().View(id);
    int index = -1;
    if (view.portSelection >= 0) {
      const std::wstring wanted = kit::FromUtf8(view.ports[static_cast<std::size_t>(view.portSelection)]);
      const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
      for (int i = 0; i < count && index < 0; ++i) {
        if (ListText(list, i) == wanted) index = i;
      }
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }

  static std::wstring ListText(HWND list, int index) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
  }

  void Show(DeviceId id) {
    const DeviceView& view = regs().View(id);
    SetText(id, IDC_ROLE_NAME, kit::FromUtf8(view.deviceName));
    SetText(id, IDC_ROLE_CUSTOM, kit::FromUtf8(view.customName));
    if (HWND box = Item(id, IDC_ROLE_SWITCH)) {
      SendMessageW(box, BM_SETCHECK, view.switchOn ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    SelectPort(id);
  }

  void Report(const Outcome& outcome) {
    if (!outcome.ok) kit::ShowMessage(hwnd, kit::FromUtf8(outcome.message), kProgramTitle, MB_OK | MB_ICONWARNING);
  }

  void Init() {
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(session.icon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(session.smallIcon));
    if (HMENU menu = GetSystemMenu(hwnd, FALSE)) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, L"&About KvOposSetup...");
    }
    regs().Load();
    for (const DeviceInfo& device : kDevices) {
      SendMessageW(Item(device.id, IDC_ROLE_CUSTOM), EM_LIMITTEXT, kCustomNameLimit, 0);
      FillPorts(device.id);
      Show(device.id);
    }
  }

  void Command(int control, int code) {
    if (control == IDC_EXIT) {
      RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      EndDialog(hwnd, IDCANCEL);
      return;
    }
    if (control == IDCANCEL) {
      EndDialog(hwnd, IDCANCEL);
      return;
    }
    const int offset = control - IDC_DEVICE_BASE;
    if (offset < 0 || offset >= IDC_DEVICE_STRIDE * static_cast<int>(kDevices.size())) return;
    const DeviceId id = static_cast<DeviceId>(offset / IDC_DEVICE_STRIDE);
    switch (offset % IDC_DEVICE_STRIDE) {
      case IDC_ROLE_ADD:
        if (code != BN_CLICKED) return;
        {
          const std::string text = kit::ToUtf8(kit::WindowText(Item(id, IDC_ROLE_CUSTOM)));
          if (text.empty()) return;  // nothing to add: the field stays empty
          const Outcome outcome = regs().AddCustomDeviceName(id, text);
          Show(id);
          Report(outcome);
        }
        return;
      case IDC_ROLE_REMOVE:
        if (code != BN_CLICKED) return;
        {
          const Outcome outcome = regs().RemoveCustomDeviceName(id);
          Show(id);
          Report(outcome);
        }
        return;
      case IDC_ROLE_SWITCH:
        if (code != BN_CLICKED) return;
        {
          const Outcome outcome = regs().ToggleSwitch(id);
          Show(id);
          Report(outcome);
        }
        return;
      case IDC_ROLE_PORT: {
        // A choice is confirmed when the list closes on it, or at once when
        // the keyboard changes it with the list closed.
        HWND list = Item(id, IDC_ROLE_PORT);
        const bool dropped = SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0;
        if (code != CBN_SELENDOK && !(code == CBN_SELCHANGE && !dropped)) return;
        const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return;
        // Written even when it is the entry already shown: a list that opens
        // with its only entry selected ("Kbd Msr Selected") has stored nothing.
        const std::string entry = kit::ToUtf8(ListText(list, static_cast<int>(index)));
        const Outcome outcome = regs().WritePort(id, entry);
        Show(id);
        Report(outcome);
        return;
      }
      case IDC_ROLE_TEST:
        if (code != BN_CLICKED) return;
        if (id == DeviceId::kLineDisplay) {
          TestLineDisplay();
        } else if (id == DeviceId::kMsr) {
          TestMsr();
        } else {
          TestDrawer(id);
        }
        return;
      default:
        return;
    }
  }

  // The common start of every test: false when the test ends here.
  bool StartTest(DeviceId id) {
    if (!regs().View(id).registered) {
      SetText(id, IDC_ROLE_RESULT, kNotSelectedText);
      return false;
    }
    SetText(id, IDC_ROLE_RESULT, L"");
    return true;
  }

  bool CreateOrSay(DeviceId id, ControlObject& object, const CLSID& clsid) {
    if (object.Create(clsid)) return true;
    SetText(id, IDC_ROLE_RESULT, kNotInstalled);
    return false;
  }

  void TestDrawer(DeviceId id) {
    if (!StartTest(id)) return;
    ControlObject drawer;
    if (!CreateOrSay(id, drawer, kClsidCashDrawer)) return;
    const bool first = id == DeviceId::kCashDrawer1;
    if (drawer.CallLong(dispid::kOpen, std::move(Args().Text(first ? L"KvCash1" : L"KvCash2"))) != 0) {
      SetText(id, IDC_ROLE_RESULT, kOposFailure);
      return;
    }
    drawer.CallLong(dispid::kClaimDevice, std::move(Args().Long(1000)));
    drawer.PutBool(dispid::kDeviceEnabled, true);
    session.selectedTestName = first ? L"Cash Drawer1" : L"Cash Drawer2";
    ShowDescription(hwnd, session);
    drawer.Call(dispid::kOpenDrawer);
    session.testResultText = first ? L"Drawer Open  " : L"Drawer Open";
    for (int poll = 0; poll < kDrawerPolls; ++poll) {
      if (!drawer.GetBool(dispid::kDrawerOpened)) {
        session.testResultText = L"Drawer Closed";
        break;
      }
      Sleep(kDrawerPollSleepMs);
    }
    SetText(id, IDC_ROLE_RESULT, session.testResultText);
    drawer.PutBool(dispid::kDeviceEnabled, false);
    drawer.Call(dispid::kReleaseDevice);
    drawer.Call(dispid::kClose);
  }

  void TestLineDisplay() {
    const DeviceId id = DeviceId::kLineDisplay;
    if (!StartTest(id)) return;
    ControlObject display;
    if (!CreateOrSay(id, display, kClsidLineDisplay)) return;
    if (display.CallLong(dispid::kOpen, std::move(Args().Text(L"KvDisplay"))) != 0) {
      SetText(id, IDC_ROLE_RESULT, kOposFailure);
      return;
    }
    display.CallLong(dispid::kClaimDevice, std::move(Args().Long(1000)));
    display.PutBool(dispid::kDeviceEnabled, true);
    session.selectedTestName = L"Line Display";
    ShowDescription(hwnd, session);
    display.Call(dispid::kClearText);
    display.Call(dispid::kDisplayText, std::move(Args().Text(L"Do Zeruruz ").Long(0)));
    display.Call(dispid::kDisplayTextAt, std::move(Args().Long(1).Long(0).Text(L"OPOS Installation").Long(0)));
    display.PutBool(dispid::kDeviceEnabled, false);
    display.Call(dispid::kReleaseDevice);
    const long closed = display.CallLong(dispid::kClose);
    session.testResultText = closed == 0 ? kOposSuccess : kOposFailure;
    SetText(id, IDC_ROLE_RESULT, session.testResultText);
  }

  void TestMsr() {
    const DeviceId id = DeviceId::kMsr;
    if (!StartTest(id)) return;
    ControlObject msr;
    if (!CreateOrSay(id, msr, kClsidMsr)) return;
    session.selectedTestName = L"MSR";
    ShowDescription(hwnd, session);
    RunMsrTest(hwnd, session, msr);
    SetText(id, IDC_ROLE_RESULT, session.testResultText);
  }

  void PaintMinimised() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd, &client);
    const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, session.icon);
    EndPaint(hwnd, &paint);
  }
};

INT_PTR CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  auto* dialog = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      dialog = reinterpret_cast<MainDialog*>(lp);
      dialog->hwnd = hwnd;
      SetWindowLongPtrW(hwnd, DWLP_USER, lp);
      dialog->Init();
      return TRUE;
    case WM_COMMAND:
      if (dialog) dialog->Command(LOWORD(wp), HIWORD(wp));
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == IDM_ABOUTBOX && dialog) {
        ShowAbout(hwnd, dialog->session);
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      if (IsIconic(hwnd) && dialog) {
        dialog->PaintMinimised();
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      return dialog ? reinterpret_cast<INT_PTR>(dialog->session.smallIcon) : 0;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunMainDialog(Session& session) {
  MainDialog dialog{session};
  return DialogBoxParamW(session.instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainProc,
                         reinterpret_cast<LPARAM>(&dialog));
}

}  // namespace opos
