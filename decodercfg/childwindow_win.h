// An MDI child of the main window: one of the nine windows that OpenPage
// numbers. It tells the main window when it goes away, whoever closed it.
// Pages and link windows derive from it and fill it with their controls.
#pragma once

#include <windows.h>

#include <memory>

#include "window_win.h"
#include "windownames.h"

namespace q5r {

class MainWindow;
class PortIo;
struct Session;

// What a child window works with: the program's state and services.
struct ChildContext {
  HINSTANCE instance;
  MainWindow& owner;
  Session& session;
  PortIo& portIo;
};

class ChildWindow : public kit::BaseWindow<ChildWindow> {
 public:
  ChildWindow(const ChildContext& context, int number) : context_(context), number_(number) {}
  virtual ~ChildWindow();
  ChildWindow(const ChildWindow&) = delete;
  ChildWindow& operator=(const ChildWindow&) = delete;

  static bool Register(HINSTANCE instance);
  // A message for the window, before the message loop translates and
  // dispatches it (keyboard navigation of a page); true when used up.
  virtual bool PreTranslate(MSG& msg) { (void)msg; return false; }
  // The prefix or suffix box that the control key dialog inserts into, when
  // the window has one.
  virtual HWND InsertionBox(bool prefix) const { (void)prefix; return nullptr; }
  // Asked before the window is closed by any means: false keeps it open
  // (a transfer is running, or the user cancelled a question about unsaved
  // data).
  virtual bool QueryClose() { return true; }
  // True while a transfer runs inside one of the window's handlers: the
  // main window then takes no command that could close it.
  virtual bool IsBusy() const { return false; }
  // Creates the window inside the main window's MDI client.
  bool Create();
  int number() const { return number_; }

 protected:
  // Creates the window's controls, right after the window itself.
  virtual void CreateContent() {}
  // The window's own messages; return true (and set `result`) when handled.
  // Everything else goes to DefMDIChildProc.
  virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    (void)msg, (void)wp, (void)lp, (void)result;
    return false;
  }

  const ChildContext& context() const { return context_; }

 private:
  friend class kit::BaseWindow<ChildWindow>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  ChildContext context_;
  int number_;
};

// The window numbered `number` (1..9), not yet created.
std::unique_ptr<ChildWindow> MakeChildWindow(const ChildContext& context, int number);

}  // namespace q5r
