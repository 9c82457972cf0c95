// The frame shared by the Transmit and Read Decoder Memory windows: an MDI
// child that hosts a child dialog with the link option groups (interface,
// port, baud rate, data bits, stop bits), the serial port, the capture box
// of the keyboard link and the button discipline of a transfer.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "childwindow_win.h"
#include "link/protocol.h"
#include "link/serialport_win.h"

namespace q5r {

class LinkWindow : public ChildWindow {
 public:
  LinkWindow(const ChildContext& context, int number, int dialogId, int portCount);
  bool PreTranslate(MSG& msg) override;
  bool IsBusy() const override { return busy_; }
  bool QueryClose() override { return !busy_; }

 protected:
  // The window's own buttons and controls.
  virtual void OnCommand(int id, int code) = 0;
  // A key that reached the capture box (WM_KEYDOWN) or a character (WM_CHAR).
  virtual void OnCaptureKey(int keyCode) { (void)keyCode; }
  virtual void OnCaptureChar(wchar_t c) { (void)c; }
  // After the dialog is laid out in a new client size.
  virtual void OnResize(int width, int height) { (void)width, (void)height; }
  // Subclasses a control so that OnCaptureKey/OnCaptureChar see its input.
  void WatchKeys(HWND control);

  Session& session() const;
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  HWND Owner() const;  // the top-level window, for message boxes
  int Show(const std::wstring& text, const std::wstring& title, UINT flags = MB_OK) const;

  // Disables (or enables again) the buttons of a transfer and marks the
  // window busy.
  void SetBusy(bool busy, std::initializer_list<int> buttons);

  // Opens LinkPort with LinkBaud and LinkFormat, or says "COM n: not
  // available." and returns false.
  bool OpenSerialPort();
  SerialPort& port() { return port_; }
  // The open port for the transfers (link/transfer.h); its waits keep the
  // window events flowing.
  SerialLine& line() { return line_; }

  // The keyboard link's ready wait: empties the capture box and gives it
  // the focus, then writes the wake-up string of `operation` every 150 ms
  // until `answered` holds or the 16th tick; releases the port. Returns
  // the number of ticks (above 15: the decoder did not answer).
  int ReadyWait(KeyboardOperation operation, const std::function<bool()>& answered);
  // One character to the keyboard controller, then the window's pause.
  void WriteKey(char c, int pauseMs);
  void ReleaseKeyboard();
  std::wstring CaptureText() const;

  HWND dialog_ = nullptr;

 private:
  void CreateContent() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  static LRESULT CALLBACK KeyWatchProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR self) noexcept;
  void LoadOptions();
  bool OptionCommand(int id);
  void EnableSerialFrames(bool enable);

  int dialogId_;
  int portCount_;
  bool busy_ = false;
  SerialPort port_;
  SerialPortLine line_;
};

}  // namespace q5r
