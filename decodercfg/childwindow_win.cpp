#include "childwindow_win.h"

#include "childwindows.h"
#include "mainwindow_win.h"

namespace q5r {

ChildWindow::~ChildWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool ChildWindow::Register(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kChildWindowClass;
  return RegisterClassExW(&wc) != 0;
}

bool ChildWindow::Create(HINSTANCE instance) {
  const ChildWindowInfo& info = WindowInfo(number_);
  const DWORD style = info.maximised ? WS_MAXIMIZE : 0;
  HWND hwnd = CreateMDIWindowW(kChildWindowClass, info.caption, style, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner_.mdiClient(),
                               instance, reinterpret_cast<LPARAM>(this));
  if (!hwnd) return false;
  CreateContent();
  return true;
}

LRESULT ChildWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) owner_.OnChildClosed(number_);
  return DefMDIChildProcW(hwnd_, msg, wp, lp);
}

}  // namespace q5r
