// frmReadMemory: reads the scan data the decoder keeps in its memory, shows
// it, saves it to a text file and clears the decoder's memory.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "filedialog_win.h"
#include "fileio_win.h"
#include "link/linkwindow_win.h"
#include "link/linkwindows_win.h"
#include "link/memoryrecords.h"
#include "link/waitloop_win.h"
#include "resource.h"
#include "session.h"
#include "text_win.h"

namespace q5r {

namespace {

constexpr std::initializer_list<int> kButtons = {IDC_CMDDISPLAY, IDC_CMDEXIT, IDC_CMDREAD,
                                                 IDC_CMDSAVE, IDC_CMDSAVEAS, IDC_CMDCLEAR};

class ReadMemoryWindow : public LinkWindow {
 public:
  explicit ReadMemoryWindow(const ChildContext& context) : LinkWindow(context, 9, IDD_READMEMORY, 4) {}
  bool QueryClose() override;

 private:
  void OnCommand(int id, int code) override;
  void OnCaptureChar(wchar_t c) override;
  void OnResize(int width, int height) override;

  void Read();
  void SerialRead();
  void KeyboardRead();
  void Clear();
  bool Save();
  bool SaveAs();
  bool WriteMemoryFile();
  void ShowMemory(bool show) { ShowWindow(Item(IDC_TXTMEMORY), show ? SW_SHOW : SW_HIDE); }
  std::wstring MemoryText() const { return kit::WindowText(Item(IDC_TXTMEMORY)); }

  bool waitDone_ = false;
  std::wstring memFileName_;
  std::wstring savedText_;
  MemoryAssembler assembler_;
  bool watching_ = false;
  bool writeFailed_ = false;  // the last write of the memory file failed
};

void ReadMemoryWindow::OnCommand(int id, int code) {
  if (id == IDC_TXTMEMORY && code == EN_CHANGE) {
    // The memory box is the capture box of a keyboard read: its text ending
    // in character code 3 ends the read.
    if (IsKeyboardMemoryComplete(MemoryText())) waitDone_ = true;
    return;
  }
  if (id == IDC_TEXT1 && code == EN_CHANGE) {
    const std::wstring text = CaptureText();
    if (!text.empty() && text.back() == L'S') waitDone_ = true;
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_CMDREAD: Read(); break;
    case IDC_CMDCLEAR: Clear(); break;
    case IDC_CMDDISPLAY: ShowMemory(false); break;
    case IDC_CMDSAVE: Save(); break;
    case IDC_CMDSAVEAS: SaveAs(); break;
    case IDC_CMDEXIT: PostMessageW(hwnd(), WM_CLOSE, 0, 0); break;
    default: break;
  }
}

// Character code 3 typed into the memory box ends a keyboard read. An edit
// box takes it as Ctrl+C and never shows it, so it is caught as a key.
void ReadMemoryWindow::OnCaptureChar(wchar_t c) {
  if (c == static_cast<wchar_t>(kMemoryEndCode)) waitDone_ = true;
}

void ReadMemoryWindow::OnResize(int width, int height) {
  RECT margins{10, 30, 10, 10};  // dialog units
  MapDialogRect(dialog_, &margins);
  MoveWindow(Item(IDC_TXTMEMORY), margins.left, margins.top, std::max(0, static_cast<int>(width - margins.left - margins.right)),
             std::max(0, static_cast<int>(height - margins.top - margins.bottom)), TRUE);
}

void ReadMemoryWindow::Read() {
  if (Show(kReadMemoryQuestion, kReadMemoryTitle, MB_OKCANCEL) == IDCANCEL) return;
  assembler_.Reset();
  if (!watching_) {
    WatchKeys(Item(IDC_TXTMEMORY));
    watching_ = true;
  }
  if (session().file.linkMode == 1) {
    SerialRead();
  } else {
    KeyboardRead();
  }
}

void ReadMemoryWindow::SerialRead() {
  if (!OpenSerialPort()) return;
  session().receiveRequest = true;
  HWND memory = Item(IDC_TXTMEMORY);
  // The window is made ready once the request is out, while the decoder
  // answers. Only the new lines are added: setting the whole text again
  // costs a block's worth of time once the box holds a few hundred lines.
  std::string text;
  const BlockStatus status = SerialReadMemory(
      line(), assembler_, text,
      [&](std::string_view added) {
        SendMessageW(memory, EM_SETSEL, GetWindowTextLengthW(memory), -1);
        SendMessageW(memory, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(kit::FromAnsi(added).c_str()));
      },
      [&] {
        SetBusy(true, kButtons);
        SetWindowTextW(memory, L"");
        ShowMemory(true);
      });
  Show(kReadMemoryMessages[static_cast<int>(status)], kReadMemoryTitle);
  port().Close();
  SetBusy(false, kButtons);
}

void ReadMemoryWindow::KeyboardRead() {
  SetBusy(true, kButtons);
  waitDone_ = false;
  const int ticks = ReadyWait(KeyboardOperation::kReadMemory, [&] {
    const std::wstring text = CaptureText();
    return waitDone_ || (!text.empty() && (text.back() == L'S' || text.back() == L's'));
  });
  if (ticks > kMaxWakeUps) {
    Show(kKeyboardTimeOut, kReadTimeOutTitle);
    SetBusy(false, kButtons);
    return;
  }
  waitDone_ = false;
  HWND memory = Item(IDC_TXTMEMORY);
  SetWindowTextW(memory, L"");
  ShowMemory(true);
  SetFocus(memory);
  PumpUntil([&] { return waitDone_ || IsKeyboardMemoryComplete(MemoryText()); }, kKeyboardMemoryTimeoutMs);
  ReleaseKeyboard();
  SetBusy(false, kButtons);
}

void ReadMemoryWindow::Clear() {
  if (Show(kClearMemoryQuestion, kClearMemoryTitle, MB_OKCANCEL) == IDCANCEL) return;
  if (session().file.linkMode == 1) {
    if (!OpenSerialPort()) return;
    session().receiveRequest = false;
    const BlockStatus status = SerialClearMemory(line(), [this] { SetBusy(true, kButtons); });
    Show(kClearMemoryMessages[static_cast<int>(status)], kClearMemoryTitle);
    port().Close();
    SetBusy(false, kButtons);
    return;
  }
  SetBusy(true, kButtons);
  waitDone_ = false;
  const int ticks = ReadyWait(KeyboardOperation::kClearMemory, [&] { return waitDone_; });
  if (ticks > kMaxWakeUps) {
    Show(kKeyboardTimeOut, kClearTimeOutTitle);
  } else {
    ReleaseKeyboard();
    Show(kClearMemoryOk, kClearMemoryTitle);
  }
  SetBusy(false, kButtons);
}

// ---- the memory data file ----

bool ReadMemoryWindow::Save() {
  ShowMemory(true);
  if (memFileName_.empty()) return SaveAs();
  return WriteMemoryFile();
}

bool ReadMemoryWindow::SaveAs() {
  ShowMemory(true);
  kit::FileDialogOptions options;
  options.owner = Owner();
  options.filter = L"Memory Data File(*.txt)\0*.txt\0";
  options.defaultExtension = kMemoryFileExtension;
  options.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
  options.save = true;
  const std::wstring chosen = kit::AskFileName(options, memFileName_);
  if (chosen.empty()) return false;
  memFileName_ = chosen;
  return WriteMemoryFile();
}

// The text of the memory box and CR LF, in the ANSI code page, written
// through a temporary file. A failure is told, and the text does not count
// as saved, so closing still asks.
bool ReadMemoryWindow::WriteMemoryFile() {
  const std::wstring text = MemoryText();
  writeFailed_ = !kit::WriteFileReplacing(memFileName_, kit::ToAnsi(text) + "\r\n");
  if (writeFailed_) {
    Show(L"The file \"" + memFileName_ + L"\" could not be saved.", kMemoryChangedTitle,
         MB_OK | MB_ICONERROR);
    return false;
  }
  savedText_ = text;
  return true;
}

bool ReadMemoryWindow::QueryClose() {
  if (!LinkWindow::QueryClose()) return false;
  if (MemoryText() == savedText_) return true;
  const int answer = Show(kMemoryChangedQuestion, kMemoryChangedTitle, MB_YESNOCANCEL);
  if (answer == IDCANCEL) return false;
  if (answer == IDNO) return true;
  // Yes saves and closes; a save that could not write keeps the window,
  // and so the data, open.
  Save();
  return !writeFailed_;
}

}  // namespace

std::unique_ptr<ChildWindow> MakeReadMemoryWindow(const ChildContext& context) {
  return std::make_unique<ReadMemoryWindow>(context);
}

}  // namespace q5r
