#include "mainwindow_win.h"

#include <algorithm>

#include <commctrl.h>

#include <array>

#include "childwindow_win.h"
#include "about_win.h"
#include "childwindows.h"
#include "msgbox_win.h"
#include "resource.h"
#include "toolbarart.h"

namespace q5r {

namespace {

struct ToolbarButton {
  const char* key;  // the button's name, as the program refers to it
  int command;      // 0 = separator
  int image;
  BYTE style;
};

// Tool tips are string resources with the button's command ID.
constexpr std::array<ToolbarButton, 11> kToolbarButtons = {{
    {"new", IDM_FILE_NEW, kImgNew, BTNS_BUTTON},
    {"open", IDM_FILE_OPEN, kImgOpen, BTNS_BUTTON},
    {"save", IDM_FILE_SAVE, kImgSave, BTNS_BUTTON},
    {"", 0, 0, BTNS_SEP},
    {"irm", IDT_IRM, kImgInterface, BTNS_BUTTON},
    {"com", IDT_COM, kImgComm, BTNS_BUTTON},
    {"bar", IDT_BAR, kImgBar, BTNS_BUTTON},
    {"mis", IDT_MIS, kImgMisc, BTNS_BUTTON},
    {"transmit", IDT_TRANSMIT, kImgTransmit, BTNS_BUTTON},
    {"", 0, 0, BTNS_SEP},
    {"mag", IDT_MAG, kImgMag, BTNS_CHECK},
}};

// Paints the 16x16 character-art images into a masked image list, each art
// pixel as a block at the screen's scale (24x24 at 144 DPI).
HIMAGELIST CreateToolbarImages() {
  constexpr int art = kToolbarImageSize;
  const int n = std::max(art, kit::ScaleForDpi(art));
  HIMAGELIST list = ImageList_Create(n, n, ILC_COLOR24 | ILC_MASK, kToolbarImageCount, 0);
  HDC screen = GetDC(nullptr);
  for (const ToolbarImage& image : kToolbarImages) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = n;
    bi.bmiHeader.biHeight = -n;  // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) continue;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) pixels[y * n + x] = ToolbarPaletteColor(image[y * art / n][x * art / n]);
    }
    const std::uint32_t mask = kToolbarMaskColor;
    ImageList_AddMasked(list, bitmap, RGB(mask >> 16, (mask >> 8) & 0xFF, mask & 0xFF));
    DeleteObject(bitmap);
  }
  ReleaseDC(nullptr, screen);
  return list;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

MainWindow::~MainWindow() {
  if (images_) ImageList_Destroy(images_);
}

bool MainWindow::Create(int showCommand) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_APP));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
  wc.lpszClassName = kMainWindowClass;
  if (!RegisterClassExW(&wc) || !ChildWindow::Register(instance_)) return false;

  menuStateMessage_ = RegisterWindowMessageW(kMenuStateMessage);
  const std::wstring caption = L"Q5R Configuration: " + currentFileName_;
  if (!CreateWindowExW(0, kMainWindowClass, caption.c_str(),
                       WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                       kit::ScaleForDpi(800), kit::ScaleForDpi(600), nullptr, nullptr, instance_, this)) {
    return false;
  }
  ShowWindow(hwnd_, showCommand == SW_SHOWMAXIMIZED ? SW_SHOWNORMAL : showCommand);
  UpdateWindow(hwnd_);
  // The port I/O library is brought up once the window is on screen, so its
  // failure message has a visible owner.
  if (!portIo_.Initialize()) {
    kit::ShowMessage(hwnd_, L"Keyboard port initialize error, only RS232 port is available!",
                     kAppCaption, MB_OK);
  }
  return true;
}

void MainWindow::OnCreate() {
  toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP,
                             0, 0, 0, 0, hwnd_, nullptr, instance_, nullptr);
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  images_ = CreateToolbarImages();
  SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
  std::array<TBBUTTON, kToolbarButtons.size()> buttons{};
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    buttons[i].iBitmap = kToolbarButtons[i].image;
    buttons[i].idCommand = kToolbarButtons[i].command;
    buttons[i].fsState = TBSTATE_ENABLED;
    buttons[i].fsStyle = kToolbarButtons[i].style;
  }
  SendMessageW(toolbar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);

  CLIENTCREATESTRUCT ccs{};
  ccs.hWindowMenu = nullptr;
  ccs.idFirstChild = 50000;
  client_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                            WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL, 0, 0,
                            0, 0, hwnd_, nullptr, instance_, &ccs);
  // An empty workspace has no scroll bars. The client would hide them at its
  // first recalculation, which it posts, so after the window is on screen:
  // hiding them now spares the first show a layout of bars that go at once.
  ShowScrollBar(client_, SB_BOTH, FALSE);

  ResetFileState("Your description about this configuration file");
}

void MainWindow::LayoutClient() {
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  RECT client{}, bar{};
  GetClientRect(hwnd_, &client);
  GetWindowRect(toolbar_, &bar);
  const int top = bar.bottom - bar.top;
  MoveWindow(client_, 0, top, client.right, client.bottom - top, TRUE);
}

LRESULT MainWindow::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  return DefFrameProcW(hwnd_, client_, msg, wp, lp);
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == menuStateMessage_ && menuStateMessage_ != 0) {
    return static_cast<LRESULT>(GetMenuState(GetMenu(hwnd_), static_cast<UINT>(wp), MF_BYCOMMAND));
  }
  switch (msg) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_SIZE:
      // The main window is never maximised: put it back to normal.
      if (wp == SIZE_MAXIMIZED) {
        PostMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
        return 0;
      }
      LayoutClient();
      return 0;
    case WM_COMMAND:
      if (OnCommand(LOWORD(wp))) return 0;
      break;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
        info->hinst = instance_;
        info->lpszText = MAKEINTRESOURCEW(hdr->idFrom);
        return 0;
      }
      break;
    }
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      child_.reset();
      portIo_.Shutdown();
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefaultProc(msg, wp, lp);
}

bool MainWindow::OnCommand(int id) {
  if (child_ && child_->IsBusy()) return true;  // nothing may close a running transfer
  switch (id) {
    case IDM_FILE_NEW: FileNew(); return true;
    case IDM_FILE_OPEN: FileOpen(); return true;
    case IDM_FILE_SAVE: FileSave(); return true;
    case IDM_FILE_SAVEAS: FileSaveAs(); return true;
    case IDM_FILE_EXIT: FileExit(); return true;
    case IDM_CONFIG_DEFAULT: SetAllDefault(false); return true;
    case IDM_MAG_DEFAULT: SetAllDefault(true); return true;
    case IDT_MAG: ToggleMagneticMode(); return true;
    case IDM_HELP_CONTENTS: ShowHelpContents(); return true;
    case IDM_HELP_ABOUT: ShowAbout(instance_, hwnd_); return true;
    default: break;
  }
  const int number = WindowForCommand(id, magneticMode_);
  if (number == 0) return false;
  PageCommand(number);
  return true;
}

void MainWindow::OnClose() {
  if (child_ && child_->hwnd() && !child_->QueryClose()) return;
  if (session_.image.IsChanged()) {
    const int answer = kit::ShowMessage(
        hwnd_, L"Configuration had been changed,do you want to save your file?", kAppCaption,
        MB_YESNOCANCEL);
    if (answer == IDCANCEL) return;
    if (answer == IDYES) FileSave();
  }
  DestroyWindow(hwnd_);
}

// ---- child windows ----

bool MainWindow::PreTranslate(MSG& msg) { return child_ && child_->PreTranslate(msg); }

void MainWindow::OnChildClosed(int number) {
  if (number != openPage_) return;
  const ChildWindowInfo& info = WindowInfo(number);
  HMENU menu = GetMenu(hwnd_);
  if (info.checkedMenu) CheckMenuItem(menu, info.checkedMenu, MF_BYCOMMAND | MF_UNCHECKED);
  if (info.defaultMenu) EnableMenuItem(menu, info.defaultMenu, MF_BYCOMMAND | MF_ENABLED);
  openPage_ = 0;
}

int MainWindow::ClosePage() {
  const int was = openPage_;
  if (child_ && child_->hwnd()) {
    if (!child_->QueryClose()) return kCloseRefused;
    SendMessageW(client_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(child_->hwnd()), 0);
  }
  child_.reset();
  return was;
}

void MainWindow::OpenWindow(int number) {
  child_.reset();
  auto child = MakeChildWindow({instance_, *this, session_, portIo_}, number);
  if (!child->Create()) return;
  child_ = std::move(child);
  const ChildWindowInfo& info = WindowInfo(number);
  HMENU menu = GetMenu(hwnd_);
  if (info.checkedMenu) CheckMenuItem(menu, info.checkedMenu, MF_BYCOMMAND | MF_CHECKED);
  if (info.defaultMenu) EnableMenuItem(menu, info.defaultMenu, MF_BYCOMMAND | MF_GRAYED);
  openPage_ = number;
}

void MainWindow::PageCommand(int number) {
  const int was = ClosePage();
  if (was == number || was == kCloseRefused) return;
  const Device device = WindowInfo(number).device;
  if (device != Device::kNone) {
    magneticMode_ = device == Device::kMagReader;
    SyncToolbar();
  }
  OpenWindow(number);
}

void MainWindow::SyncToolbar() {
  SendMessageW(toolbar_, TB_CHECKBUTTON, IDT_MAG, MAKELPARAM(magneticMode_, 0));
  SendMessageW(toolbar_, TB_ENABLEBUTTON, IDT_BAR, MAKELPARAM(!magneticMode_, 0));
  if (magneticMode_ && openPage_ == 3) ClosePage();
}

void MainWindow::ToggleMagneticMode() {
  // Closing first (which also takes the Bar Codes page away) lets a window
  // that refuses to close stop the switch.
  const int was = ClosePage();
  if (was == kCloseRefused) return;
  magneticMode_ = !magneticMode_;
  SyncToolbar();
  if (was != 0 && WindowInfo(was).counterpart != 0) OpenWindow(WindowInfo(was).counterpart);
}

void MainWindow::CloseConfigWindows() {
  if (openPage_ >= 1 && openPage_ <= 8) ClosePage();
}

void MainWindow::SetAllDefault(bool magnetic) {
  const wchar_t* question =
      magnetic ? L"Are you sure to set all to default values for Magnet Reader?"
               : L"Are you sure to set all to default values for Bar Decoder?";
  if (kit::ShowMessage(hwnd_, question, kAppCaption,
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDNO) {
    return;
  }
  if (magnetic) {
    session_.image.LoadMagReaderDefaults();
  } else {
    session_.image.LoadBarDecoderDefaults();
  }
}

void MainWindow::ShowHelpContents() {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWMAXIMIZED;
  PROCESS_INFORMATION pi{};
  wchar_t commandLine[] = L"hh q5rcfg.chm";
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    kit::ShowMessage(hwnd_, L"The help viewer could not be started.", kAppCaption, MB_OK);
    return;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

}  // namespace q5r
