#include "link/linkwindow_win.h"

#include <commctrl.h>

#include "link/linksettings.h"
#include "link/waitloop_win.h"
#include "mainwindow_win.h"
#include "msgbox_win.h"
#include "resource.h"
#include "session.h"
#include "text_win.h"

namespace q5r {

namespace {

// The controls of the serial line settings, enabled only "By RS232".
constexpr int kSerialFrames[] = {IDC_FRA_PORT, IDC_FRA_BAUD, IDC_FRA_DATABITS, IDC_FRA_STOPBITS};

bool InRange(int id, int first, int count) { return id >= first && id < first + count; }

}  // namespace

LinkWindow::LinkWindow(const ChildContext& context, int number, int dialogId, int portCount)
    : ChildWindow(context, number), dialogId_(dialogId), portCount_(portCount), line_(port_, PumpUntilSignalled) {}

Session& LinkWindow::session() const { return context().session; }

HWND LinkWindow::Owner() const { return GetAncestor(hwnd(), GA_ROOT); }

int LinkWindow::Show(const std::wstring& text, const std::wstring& title, UINT flags) const {
  return kit::ShowMessage(Owner(), text, title, flags);
}

void LinkWindow::CreateContent() {
  dialog_ = CreateDialogParamW(context().instance, MAKEINTRESOURCEW(dialogId_), hwnd(), DialogProc,
                               reinterpret_cast<LPARAM>(this));
  WatchKeys(Item(IDC_TEXT1));
  ShowWindow(Item(IDC_PROGRESSBAR1), SW_HIDE);
  LoadOptions();
  RECT client{};
  GetClientRect(hwnd(), &client);
  SendMessageW(hwnd(), WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
  SendMessageW(hwnd(), WM_SETFOCUS, 0, 0);  // the window got the focus before it had controls
}

bool LinkWindow::PreTranslate(MSG& msg) {
  return dialog_ && IsDialogMessageW(dialog_, &msg);
}

bool LinkWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_SIZE && dialog_) {
    MoveWindow(dialog_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
    OnResize(LOWORD(lp), HIWORD(lp));
  }
  // The keyboard focus belongs to a control, so the window's accelerators
  // work as soon as it opens.
  if (msg == WM_SETFOCUS && dialog_ && !busy_) {
    if (HWND first = GetNextDlgTabItem(dialog_, nullptr, FALSE)) SetFocus(first);
  }
  (void)wp, (void)result;
  return false;  // DefMDIChildProc still sees WM_SIZE
}

INT_PTR CALLBACK LinkWindow::DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lp);
    return FALSE;
  }
  auto* self = reinterpret_cast<LinkWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self && msg == WM_COMMAND) {
    const int id = LOWORD(wp);
    if (HIWORD(wp) == BN_CLICKED && self->OptionCommand(id)) return TRUE;
    self->OnCommand(id, HIWORD(wp));
    return TRUE;
  }
  return FALSE;
}

void LinkWindow::WatchKeys(HWND control) {
  SetWindowSubclass(control, KeyWatchProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK LinkWindow::KeyWatchProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                          DWORD_PTR self) noexcept {
  auto* window = reinterpret_cast<LinkWindow*>(self);
  if (msg == WM_KEYDOWN) window->OnCaptureKey(static_cast<int>(wp));
  if (msg == WM_CHAR) window->OnCaptureChar(static_cast<wchar_t>(wp));
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, KeyWatchProc, 1);
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// ---- the link option groups ----

void LinkWindow::LoadOptions() {
  Session& s = session();
  if (dialogId_ == IDD_TRANSMIT) {
    CheckRadioButton(dialog_, IDC_OPTION1_0, IDC_OPTION1_1, s.saveInDecoder ? IDC_OPTION1_1 : IDC_OPTION1_0);
  }
  // A port this window does not list shows no port chosen.
  if (s.file.linkPort >= 1 && s.file.linkPort <= portCount_) {
    CheckRadioButton(dialog_, IDC_OPTPORT0, IDC_OPTPORT0 + portCount_ - 1, IDC_OPTPORT0 + s.file.linkPort - 1);
  }
  CheckRadioButton(dialog_, IDC_OPTBAUD0, IDC_OPTBAUD0 + 4, IDC_OPTBAUD0 + BaudOptionForText(s.linkBaud));
  CheckRadioButton(dialog_, IDC_OPTDATABITS0, IDC_OPTDATABITS1, IDC_OPTDATABITS0 + DataBitsOption(s.linkFormat));
  CheckRadioButton(dialog_, IDC_OPTSTOPBITS0, IDC_OPTSTOPBITS1, IDC_OPTSTOPBITS0 + StopBitsOption(s.linkFormat));
  // Choosing the interface runs its click rule, so LinkMode becomes 0 or 1.
  const int mode = s.file.linkMode == 1 ? IDC_OPTMODE1 : IDC_OPTMODE0;
  CheckRadioButton(dialog_, IDC_OPTMODE0, IDC_OPTMODE1, mode);
  OptionCommand(mode);
}

bool LinkWindow::OptionCommand(int id) {
  Session& s = session();
  if (InRange(id, IDC_OPTMODE0, 2)) {
    s.file.linkMode = static_cast<std::int16_t>(id - IDC_OPTMODE0);
    EnableSerialFrames(s.file.linkMode == 1);
  } else if (InRange(id, IDC_OPTPORT0, portCount_)) {
    s.file.linkPort = static_cast<std::int16_t>(id - IDC_OPTPORT0 + 1);
  } else if (InRange(id, IDC_OPTBAUD0, 5)) {
    s.linkBaud = BaudTextForOption(id - IDC_OPTBAUD0);
  } else if (InRange(id, IDC_OPTDATABITS0, 2)) {
    s.linkFormat = WithDataBits(s.linkFormat, id - IDC_OPTDATABITS0);
  } else if (InRange(id, IDC_OPTSTOPBITS0, 2)) {
    s.linkFormat = WithStopBits(s.linkFormat, id - IDC_OPTSTOPBITS0);
  } else if (InRange(id, IDC_OPTION1_0, 2) && dialogId_ == IDD_TRANSMIT) {
    s.saveInDecoder = id != IDC_OPTION1_0;
  } else {
    return false;
  }
  return true;
}

void LinkWindow::EnableSerialFrames(bool enable) {
  for (int frame : kSerialFrames) EnableWindow(Item(frame), enable);
  for (int i = 0; i < portCount_; ++i) EnableWindow(Item(IDC_OPTPORT0 + i), enable);
  for (int i = 0; i < 5; ++i) EnableWindow(Item(IDC_OPTBAUD0 + i), enable);
  for (int id : {IDC_OPTDATABITS0, IDC_OPTDATABITS1, IDC_OPTSTOPBITS0, IDC_OPTSTOPBITS1}) {
    EnableWindow(Item(id), enable);
  }
}

// ---- transfers ----

void LinkWindow::SetBusy(bool busy, std::initializer_list<int> buttons) {
  busy_ = busy;
  for (int id : buttons) EnableWindow(Item(id), !busy);
}

bool LinkWindow::OpenSerialPort() {
  const Session& s = session();
  if (port_.Open(s.file.linkPort, LineSettingsText(s.linkBaud, s.linkFormat))) return true;
  port_.Close();
  Show(PortUnavailableMessage(s.file.linkPort), kProgramTitle);
  return false;
}

void LinkWindow::WriteKey(char c, int pauseMs) {
  context().portIo.SetPortVal(kKeyboardDataPort, static_cast<unsigned char>(c), 1);
  Sleep(static_cast<DWORD>(pauseMs));
}

void LinkWindow::ReleaseKeyboard() {
  context().portIo.SetPortVal(kInterruptMaskPort, 0x00, 1);
}

std::wstring LinkWindow::CaptureText() const { return kit::WindowText(Item(IDC_TEXT1)); }

int LinkWindow::ReadyWait(KeyboardOperation operation, const std::function<bool()>& answered) {
  HWND capture = Item(IDC_TEXT1);
  SetFocus(capture);
  SetWindowTextW(capture, L"");
  const WakeUpInfo& wakeUp = WakeUpFor(operation);
  int ticks = 0;
  while (!PumpUntil(answered, kWakeUpTickMs)) {
    if (++ticks > kMaxWakeUps) break;
    for (int i = 0; i < 5; ++i) WriteKey(wakeUp.letter, wakeUp.pauseMs);
  }
  ReleaseKeyboard();
  return ticks;
}

}  // namespace q5r
