// MDImain: the frame window of Q5RSetup. Owns the session, the menus, the
// toolbar and at most one child window (an option page, the Transmit window
// or the decoder memory window), and runs the File and "Set All Default"
// commands.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "link/portio_win.h"
#include "session.h"
#include "window_win.h"
#include "windownames.h"

namespace q5r {

class ChildWindow;

inline const std::wstring kNewFileName = L"New File";
inline const std::wstring kAppCaption = L"Configuration Setup";
// The program's own title, for messages that name no caption of their own.
inline const std::wstring kProgramTitle = L"Q5RSetup";

class MainWindow : public kit::BaseWindow<MainWindow> {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow();
  bool Create(int showCommand);
  HWND mdiClient() const { return client_; }
  bool magneticMode() const { return magneticMode_; }
  // The child window that is open, or nullptr.
  ChildWindow* openChild() const { return child_.get(); }
  // Lets the open child window see a message before it is dispatched.
  bool PreTranslate(MSG& msg);

  // Called by a child window when it is destroyed, however it was closed.
  void OnChildClosed(int number);

 private:
  friend class kit::BaseWindow<MainWindow>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);

  void OnCreate();
  bool OnCommand(int id);  // false when the command is not ours
  void OnClose();
  void LayoutClient();

  // Child windows.
  static constexpr int kCloseRefused = -1;
  // Closes the open child; returns its number (0 = none was open), or
  // kCloseRefused when it would not close.
  int ClosePage();
  void OpenWindow(int number);
  void PageCommand(int number);
  void ToggleMagneticMode();
  void SyncToolbar();
  void CloseConfigWindows();  // every page and the Transmit window, not window 9

  // File commands (filecommands_win.cpp).
  void FileNew();
  void FileOpen();
  void FileSave();
  void FileSaveAs();
  void FileExit();
  bool AskSaveIfChanged();  // false when the user cancelled
  bool WriteConfigFile(const std::wstring& path);
  void ResetFileState(const char* description);
  void SetCaption(const std::wstring& prefix);

  void SetAllDefault(bool magnetic);
  void ShowHelpContents();

  HINSTANCE instance_;
  HWND client_ = nullptr;
  HWND toolbar_ = nullptr;
  HIMAGELIST images_ = nullptr;
  UINT menuStateMessage_ = 0;

  Session session_;
  std::wstring currentFileName_ = kNewFileName;
  PortIo portIo_;

  int openPage_ = 0;
  bool magneticMode_ = false;
  std::unique_ptr<ChildWindow> child_;
};

}  // namespace q5r
