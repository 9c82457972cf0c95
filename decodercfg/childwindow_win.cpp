#include "childwindow_win.h"

#include "childwindows.h"
#include "link/linkwindows_win.h"
#include "mainwindow_win.h"
#include "pages/pagewindows_win.h"

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

bool ChildWindow::Create() {
  const ChildWindowInfo& info = WindowInfo(number_);
  const DWORD style = info.maximised ? WS_MAXIMIZE : 0;
  HWND hwnd = CreateMDIWindowW(kChildWindowClass, info.caption, style, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, context_.owner.mdiClient(),
                               context_.instance, reinterpret_cast<LPARAM>(this));
  if (!hwnd) return false;
  CreateContent();
  return true;
}

LRESULT ChildWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) context_.owner.OnChildClosed(number_);
  if (msg == WM_CLOSE && !QueryClose()) return 0;
  LRESULT result = 0;
  if (OnMessage(msg, wp, lp, result)) return result;
  return DefMDIChildProcW(hwnd_, msg, wp, lp);
}

std::unique_ptr<ChildWindow> MakeChildWindow(const ChildContext& context, int number) {
  if (auto page = MakePageWindow(context, number)) return page;
  if (auto link = MakeLinkWindow(context, number)) return link;
  return std::make_unique<ChildWindow>(context, number);  // not built yet: opens empty
}

}  // namespace q5r
