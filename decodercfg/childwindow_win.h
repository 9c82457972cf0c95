// An MDI child of the main window: one of the nine windows that OpenPage
// numbers. It tells the main window when it goes away, whoever closed it.
#pragma once

#include <windows.h>

#include "window_win.h"
#include "windownames.h"

namespace q5r {

class MainWindow;

class ChildWindow : public kit::BaseWindow<ChildWindow> {
 public:
  ChildWindow(MainWindow& owner, int number) : owner_(owner), number_(number) {}
  virtual ~ChildWindow();
  ChildWindow(const ChildWindow&) = delete;
  ChildWindow& operator=(const ChildWindow&) = delete;

  static bool Register(HINSTANCE instance);
  // Creates the window inside the main window's MDI client.
  bool Create(HINSTANCE instance);
  int number() const { return number_; }

 protected:
  // Hook for the window's content, created right after the window.
  virtual void CreateContent() {}

 private:
  friend class kit::BaseWindow<ChildWindow>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  MainWindow& owner_;
  int number_;
};

}  // namespace q5r
