// frmTransmit: downloads the image to the decoder, uploads it back and asks
// for the firmware version, over RS232 or the keyboard port.
#include <windows.h>
#include <commctrl.h>

#include "link/linkwindow_win.h"
#include "link/linkwindows_win.h"
#include "link/waitloop_win.h"
#include "resource.h"
#include "session.h"
#include "text_win.h"

namespace q5r {

namespace {

constexpr std::initializer_list<int> kButtons = {IDC_CMDTRANSMIT, IDC_CMDCLOSE, IDC_CMDRECEIVE,
                                                 IDC_CMDVERSION};

class TransmitWindow : public LinkWindow {
 public:
  explicit TransmitWindow(const ChildContext& context) : LinkWindow(context, 5, IDD_TRANSMIT, 6) {}

 private:
  void OnCommand(int id, int code) override;
  void OnCaptureKey(int keyCode) override;

  void Download();
  void Upload(bool version);
  void SerialDownload();
  void KeyboardDownload();
  void SerialUpload();
  void KeyboardUpload();
  void EndTransfer();
  void ShowProgress(int maximum);
  void SetProgress(std::size_t value) { SendMessageW(Item(IDC_PROGRESSBAR1), PBM_SETPOS, value, 0); }

  bool waitDone_ = false;
  int keyId_ = 0;
  bool verFlag_ = false;
};

void TransmitWindow::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_CMDTRANSMIT: Download(); break;
    case IDC_CMDRECEIVE: Upload(false); break;
    case IDC_CMDVERSION: Upload(true); break;
    case IDC_CMDCLOSE: PostMessageW(hwnd(), WM_CLOSE, 0, 0); break;
    default: break;
  }
}

// Every key that reaches the capture box.
void TransmitWindow::OnCaptureKey(int keyCode) {
  if (keyCode == kReadyKeyCode) waitDone_ = true;
  if (keyCode == kReplyEndKeyCode && session().receiveRequest) waitDone_ = true;
  keyId_ = keyCode;
}

void TransmitWindow::ShowProgress(int maximum) {
  HWND bar = Item(IDC_PROGRESSBAR1);
  SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
  SendMessageW(bar, PBM_SETPOS, 0, 0);
  ShowWindow(bar, SW_SHOW);
}

void TransmitWindow::EndTransfer() {
  SetBusy(false, kButtons);
  ShowWindow(Item(IDC_PROGRESSBAR1), SW_HIDE);
}

void TransmitWindow::Download() {
  session().receiveRequest = false;
  if (session().file.linkMode == 1) {
    SerialDownload();
  } else {
    KeyboardDownload();
  }
}

void TransmitWindow::SerialDownload() {
  if (!OpenSerialPort()) return;
  const SerialResult result = q5r::SerialDownload(line(), session().image.Bytes(), session().saveInDecoder,
                                                  [this] { SetBusy(true, kButtons); });
  Show(kDownloadMessages[static_cast<int>(result)], kTransmitTitle);
  port().Close();
  EndTransfer();
}

void TransmitWindow::KeyboardDownload() {
  SetBusy(true, kButtons);
  waitDone_ = false;
  const KeyboardOperation operation = TransmitOperation(false, session().saveInDecoder);
  if (ReadyWait(operation, [&] { return waitDone_; }) > kMaxWakeUps) {
    Show(kKeyboardTimeOut, kTransmitTitle);
    EndTransfer();
    return;
  }
  Sleep(20);
  ShowProgress(84);
  const std::string text = KeyboardDownloadText(session().image.Bytes());
  for (std::size_t i = 0; i < text.size(); ++i) {
    WriteKey(text[i], 4);
    if (i % 2 == 1 && i / 2 < kImageSize) SetProgress(i / 2);
  }
  waitDone_ = false;
  keyId_ = 0;
  PumpUntil([&] { return waitDone_ || keyId_ == kDownloadAckKeyCode; }, kKeyboardDownloadAckTimeoutMs);
  ReleaseKeyboard();
  Show(keyId_ == kDownloadAckKeyCode ? L"Download OK!" : L"Download Failed!", kTransmitTitle);
  EndTransfer();
}

void TransmitWindow::Upload(bool version) {
  session().receiveRequest = true;
  verFlag_ = version;
  if (!verFlag_ && Show(kUploadQuestion, kUploadTitle, MB_OKCANCEL) == IDCANCEL) return;
  if (session().file.linkMode == 1) {
    SerialUpload();
  } else {
    KeyboardUpload();
  }
  verFlag_ = false;
}

void TransmitWindow::SerialUpload() {
  if (!OpenSerialPort()) return;
  const SerialUploadOutcome outcome = q5r::SerialUpload(line(), [this] { SetBusy(true, kButtons); });
  std::wstring message = kUploadMessages[static_cast<int>(outcome.result)];
  if (outcome.reply && verFlag_) {
    message = kit::FromAnsi(FirmwareVersionMessage<char>(outcome.reply->versionFirst, outcome.reply->versionSecond));
  } else if (outcome.reply) {
    ApplyUploadData(outcome.reply->data, session().image);
  }
  Show(message, kUploadTitle);
  port().Close();
  EndTransfer();
}

void TransmitWindow::KeyboardUpload() {
  SetBusy(true, kButtons);
  waitDone_ = false;
  if (ReadyWait(KeyboardOperation::kUpload, [&] { return waitDone_ || CaptureText() == L"S"; }) >
      kMaxWakeUps) {
    Show(kKeyboardTimeOut, kUploadTitle);
    EndTransfer();
    return;
  }
  ShowProgress(146);
  waitDone_ = false;
  keyId_ = 0;
  HWND capture = Item(IDC_TEXT1);
  SetFocus(capture);
  SetWindowTextW(capture, L"");
  PumpUntil(
      [&] {
        const std::size_t held = CaptureText().size();
        SetProgress(held);
        return waitDone_ || held == kKeyboardUploadChars;
      },
      kKeyboardUploadTimeoutMs);
  ReleaseKeyboard();

  const auto reply = ParseKeyboardUploadReply(CaptureText());
  std::wstring message = L"Upload Failed!";
  if (reply && verFlag_) {
    message = FirmwareVersionMessage<wchar_t>(reply->versionFirst, reply->versionSecond);
  } else if (reply) {
    ApplyUploadData(reply->data, session().image);
    message = kUploadOk;
  }
  Show(message, kUploadTitle);
  EndTransfer();
}

}  // namespace

std::unique_ptr<ChildWindow> MakeTransmitWindow(const ChildContext& context) {
  return std::make_unique<TransmitWindow>(context);
}

}  // namespace q5r
