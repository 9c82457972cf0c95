// Fixture shared by the Q5RSetup GUI tests: starts the real Q5RSetup.exe
// (beside this test program, with the adkb.dll stand-in) in a scratch folder
// and gives short names for what a user does and sees.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "guidriver_win.h"

namespace q5rtest {

inline constexpr int kTimeout = 10000;  // generous: Wine's file dialogs are slow

class Q5RSetupTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program and waits for its main window. `exe` defaults to the
  // Q5RSetup.exe beside the test.
  void Start(const guidriver::Environment& extra = {}, const std::wstring& exe = {});

  // Menus, by caption path.
  void Choose(std::initializer_list<std::wstring_view> path);
  UINT MenuState(std::initializer_list<std::wstring_view> path);
  UINT StateOf(UINT commandId);
  bool Checked(std::initializer_list<std::wstring_view> path);
  bool Greyed(std::initializer_list<std::wstring_view> path);

  std::wstring Caption() { return guidriver::Text(main_); }
  // The open child window's caption, or "" when none is open.
  std::wstring ChildCaption();
  bool WaitChild(const std::wstring& caption);  // "" waits for no child

  // Waits for a message box, checks caption and text, answers it.
  void Answer(const std::wstring& caption, const std::wstring& text, std::wstring_view button);
  // Waits for a standard file dialog, types `path` (or cancels when empty).
  std::wstring FileDialog(std::wstring_view caption, const std::wstring& path);

  // Controls of the open child window, found by ID on any of its tabs.
  HWND Child();
  HWND Control(int id);
  bool IsOn(int id);  // a check box or option button is checked
  bool IsEnabledControl(int id);
  bool IsShown(int id);  // visible: its tab is the one shown
  std::wstring TextOf(int id);
  // A click as the user makes it (BM_CLICK), handled when this returns.
  void Click(int id);
  // The same, posted: for a click that opens a modal box.
  void PostClick(int id);
  // Replaces a box's text as typing would, so its change handling runs; a
  // combo box gets the text in its edit field. `wait` false: for a change
  // that shows a modal box.
  void Type(int id, const std::wstring& text, bool wait = true);
  // Chooses entry `index` from a combo box's list.
  void ChooseItem(int id, int index);
  // The open child window's tab strip: its captions and tool tips, and a
  // real mouse click on one tab.
  std::vector<std::wstring> TabCaptions();
  std::vector<std::wstring> TabTips();
  void ClickTab(int index);

  // Opens a configuration file through File > Open and waits for it.
  void OpenFile(const std::wstring& path);
  // Saves through File > Save As into `path` and returns the file's bytes.
  std::string SaveAs(const std::wstring& path);

  bool WaitExit() { return app_->WaitExit(kTimeout); }
  std::wstring Temp(const std::wstring& name) const { return dir_ + L"\\" + name; }
  // The adkb.dll stand-in's log, written by the program's process: polled
  // until `done` holds for it, or for kTimeout.
  std::string AdkbLog() const;
  std::string AdkbLogWhen(const std::function<bool(const std::string&)>& done) const;
  static std::function<bool(const std::string&)> Contains(std::string needle) {
    return [needle = std::move(needle)](const std::string& text) { return text.find(needle) != std::string::npos; };
  }

  std::wstring binDir_;
  std::wstring exe_;
  std::wstring dir_;
  std::unique_ptr<guidriver::Process> app_;
  std::unique_ptr<guidriver::MenuMap> menu_;
  HWND main_ = nullptr;
  HWND toolbar_ = nullptr;
  HWND controlsOf_ = nullptr;  // the child window whose controls are in controls_
  std::map<int, HWND> controls_;
};

// File helpers.
std::optional<std::string> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& data);

}  // namespace q5rtest
