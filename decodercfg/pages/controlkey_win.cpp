#include "pages/controlkey_win.h"

#include <string>

#include "mainwindow_win.h"
#include "pages/textrules.h"
#include "resource.h"
#include "text_win.h"

namespace q5r {

namespace {

struct DialogState {
  const ChildContext* context;
  bool insertIntoPrefix;
  HWND exitTarget = nullptr;
};

constexpr int kBarMiscPageNumber = 4;
constexpr int kMagMiscPageNumber = 7;

// Looked up at each insertion: the box of the Miscellaneous page of the
// device the toolbar is set to, when that page is the one open.
HWND TargetBox(const DialogState& state) {
  const MainWindow& main = state.context->owner;
  const ChildWindow* page = main.openChild();
  const int wanted = main.magneticMode() ? kMagMiscPageNumber : kBarMiscPageNumber;
  if (!page || page->number() != wanted) return nullptr;
  return page->InsertionBox(state.insertIntoPrefix);
}

// Over the middle of the program's window rather than of the screen.
void CenterOnOwner(HWND dialog) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  RECT outer{}, box{};
  if (!owner || !GetWindowRect(owner, &outer) || !GetWindowRect(dialog, &box)) return;
  const int x = (outer.left + outer.right - (box.right - box.left)) / 2;
  const int y = (outer.top + outer.bottom - (box.bottom - box.top)) / 2;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK ControlKeyProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lp);
    CenterOnOwner(dialog);
    return TRUE;
  }
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (msg != WM_COMMAND || !state || HIWORD(wp) != BN_CLICKED) return FALSE;
  const int id = LOWORD(wp);
  if (id >= IDC_CTRL_KEY && id < IDC_CTRL_KEY + kControlCount) {
    SetDlgItemTextW(dialog, IDC_CTRL_NAME, kit::FromAnsi(ControlName(id - IDC_CTRL_KEY)).c_str());
    return TRUE;
  }
  if (id == IDC_CTRL_INSERT) {
    const std::wstring name = kit::WindowText(GetDlgItem(dialog, IDC_CTRL_NAME));
    if (name.empty()) return TRUE;
    if (HWND box = TargetBox(*state)) {
      const std::wstring braced = L"{" + name + L"}";
      SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(braced.c_str()));
    }
    SetDlgItemTextW(dialog, IDC_CTRL_NAME, L"");
    return TRUE;
  }
  if (id == IDC_CTRL_EXIT || id == IDCANCEL) {
    state->exitTarget = TargetBox(*state);
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

HWND RunControlKeyDialog(const ChildContext& context, HWND owner, bool insertIntoPrefix) {
  DialogState state{&context, insertIntoPrefix};
  DialogBoxParamW(context.instance, MAKEINTRESOURCEW(IDD_CTRLKEY), owner, ControlKeyProc,
                  reinterpret_cast<LPARAM>(&state));
  return state.exitTarget;
}

}  // namespace q5r
