#include "pages/optionpage_win.h"

#include <commctrl.h>

#include <algorithm>

#include "pages/textrules.h"
#include "resource.h"
#include "session.h"

namespace q5r {

OptionPage::OptionPage(const ChildContext& context, const PageTable& table)
    : ChildWindow(context, table.number), table_(table) {}

ConfigImage& OptionPage::image() const { return context().session.image; }

HWND OptionPage::Item(int id) const {
  for (HWND frame : frames_) {
    if (HWND item = GetDlgItem(frame, id)) return item;
  }
  return nullptr;
}

HWND OptionPage::Owner() const { return GetAncestor(hwnd(), GA_ROOT); }

std::wstring OptionPage::TextOf(int id) const {
  HWND item = Item(id);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return text;
}

void OptionPage::SetQuietText(int id, const std::wstring& text) {
  Quiet quiet(*this);
  SetWindowTextW(Item(id), text.c_str());
}

void OptionPage::ShowField(const Field& f) {
  if (IsCheckBox(f)) {
    CheckDlgButton(GetParent(Item(f.id)), f.id, FieldValue(f, image()) ? BST_CHECKED : BST_UNCHECKED);
    return;
  }
  // A value that matches no option shows with none selected.
  const int shown = ShownChoice(f, image());
  for (int i = 0; i < ControlCount(f); ++i) {
    SendMessageW(Item(f.id + i), BM_SETCHECK, i == shown ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  MarkTabStop(f, shown);
}

// Tab moves into a group at its checked option: an option button that gets
// the focus from the keyboard checks itself, so landing on another one
// would change the setting by merely passing through.
void OptionPage::MarkTabStop(const Field& f, int checked) {
  for (int i = 0; i < ControlCount(f); ++i) {
    HWND option = Item(f.id + i);
    const LONG_PTR style = GetWindowLongPtrW(option, GWL_STYLE);
    const bool stop = i == (checked < 0 ? 0 : checked);
    SetWindowLongPtrW(option, GWL_STYLE, stop ? style | WS_TABSTOP : style & ~WS_TABSTOP);
  }
}

void OptionPage::CreateContent() {
  const HINSTANCE instance = context().instance;
  dialog_ = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PAGE), hwnd(), DialogProc,
                               reinterpret_cast<LPARAM>(this));
  if (!dialog_) return;
  tabs_ = GetDlgItem(dialog_, IDC_PAGE_TABS);
  for (std::size_t i = 0; i < table_.tabs.size(); ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(table_.tabs[i].caption);
    SendMessageW(tabs_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    HWND frame = CreateDialogParamW(instance, MAKEINTRESOURCEW(table_.tabs[i].frameTemplate), dialog_,
                                    DialogProc, reinterpret_cast<LPARAM>(this));
    frames_.push_back(frame);
  }
  Layout();
  Load();
  ShowWindow(frames_.front(), SW_SHOW);
  SetFocus(tabs_);
}

// Tab strip at the dialog margin around the largest frame; every frame in
// the strip's display area, above the strip; the page and its MDI window
// sized to fit, at the top left of the client area. Pages have a fixed size:
// no sizing border, no maximise box.
void OptionPage::Layout() {
  SIZE frameSize{};
  for (HWND frame : frames_) {
    RECT rc{};
    GetWindowRect(frame, &rc);
    frameSize.cx = std::max(frameSize.cx, rc.right - rc.left);
    frameSize.cy = std::max(frameSize.cy, rc.bottom - rc.top);
  }
  RECT margin{7, 7, 7, 7};
  MapDialogRect(dialog_, &margin);
  RECT strip{0, 0, frameSize.cx, frameSize.cy};
  SendMessageW(tabs_, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&strip));
  OffsetRect(&strip, margin.left - strip.left, margin.top - strip.top);
  // All tabs in one row, never behind scroll arrows.
  RECT lastTab{};
  if (SendMessageW(tabs_, TCM_GETITEMRECT, frames_.size() - 1, reinterpret_cast<LPARAM>(&lastTab))) {
    strip.right = std::max(strip.right, strip.left + lastTab.right + margin.left);
  }
  SetWindowPos(tabs_, HWND_BOTTOM, strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top,
               SWP_NOACTIVATE);
  RECT display = strip;
  SendMessageW(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  for (HWND frame : frames_) {
    SetWindowPos(frame, HWND_TOP, display.left, display.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  }
  const int width = strip.right + margin.right;
  const int height = strip.bottom + margin.bottom;
  SetWindowPos(dialog_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

  const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE) & ~(WS_MAXIMIZEBOX | WS_THICKFRAME);
  SetWindowLongPtrW(hwnd(), GWL_STYLE, style);
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(style), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE)));
  SetWindowPos(hwnd(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

  // Tool tips of the tabs: one tool per item, by index. The strip may have
  // made the tools itself (then they get their text) or not (then we add
  // them over the items, which never move: all tabs fit in one row).
  if (HWND tips = reinterpret_cast<HWND>(SendMessageW(tabs_, TCM_GETTOOLTIPS, 0, 0))) {
    for (std::size_t i = 0; i < table_.tabs.size(); ++i) {
      TTTOOLINFOW tool{};
      tool.cbSize = sizeof tool;
      tool.hwnd = tabs_;
      tool.uId = i;
      const bool exists = SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
      tool.lpszText = const_cast<wchar_t*>(table_.tabs[i].tip);
      if (exists) {
        SendMessageW(tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
      } else {
        tool.uFlags = TTF_SUBCLASS;
        SendMessageW(tabs_, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tool.rect));
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
      }
    }
  }
}

// Shows what the image holds. Writes back only what the fields' own rules
// say opening the page writes back (and what the page's own controls do).
void OptionPage::Load() {
  for (const Field& f : table_.fields) {
    ShowField(f);
    WriteBackOnOpen(f, image());
  }
  LoadOwnControls();
}

void OptionPage::ShowFrame(int index) {
  if (index == shownFrame_ || index < 0 || index >= static_cast<int>(frames_.size())) return;
  ShowWindow(frames_[static_cast<std::size_t>(index)], SW_SHOW);
  ShowWindow(frames_[static_cast<std::size_t>(shownFrame_)], SW_HIDE);
  shownFrame_ = index;
}

void OptionPage::ChooseTab(int index) {
  SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  ShowFrame(index);
  SetFocus(tabs_);
}

bool OptionPage::PreTranslate(MSG& msg) {
  if (!dialog_ || (msg.hwnd != dialog_ && !IsChild(dialog_, msg.hwnd))) return false;
  if (msg.message == WM_SYSCHAR) {
    wchar_t key = static_cast<wchar_t>(msg.wParam);
    if (key >= L'a' && key <= L'z') key = static_cast<wchar_t>(key - L'a' + L'A');
    for (std::size_t i = 0; i < table_.tabs.size(); ++i) {
      if (Mnemonic(table_.tabs[i].caption) == key) {
        ChooseTab(static_cast<int>(i));
        return true;
      }
    }
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
    const int count = static_cast<int>(frames_.size());
    const int step = GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
    ChooseTab((shownFrame_ + step) % count);
    return true;
  }
  return IsDialogMessageW(dialog_, &msg) != FALSE;
}

bool OptionPage::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
  if (msg == WM_SETFOCUS && tabs_) {
    SetFocus(tabs_);
    result = 0;
    return true;
  }
  return false;
}

INT_PTR CALLBACK OptionPage::DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lp);
    return FALSE;
  }
  auto* page = reinterpret_cast<OptionPage*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!page) return FALSE;
  try {
    switch (msg) {
      case WM_COMMAND:
        page->Command(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return TRUE;
      case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
        if (hdr->hwndFrom == page->tabs_ && hdr->code == TCN_SELCHANGE) {
          page->ShowFrame(static_cast<int>(SendMessageW(page->tabs_, TCM_GETCURSEL, 0, 0)));
          return TRUE;
        }
        if (hdr->code == TTN_GETDISPINFOW && hdr->idFrom < page->table_.tabs.size()) {
          auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
          info->lpszText = const_cast<wchar_t*>(page->table_.tabs[hdr->idFrom].tip);
          return TRUE;
        }
        break;
      }
      default:
        break;
    }
  } catch (...) {
    // A fault in a handler must not cross into Windows; the page stays as it is.
  }
  return FALSE;
}

void OptionPage::Command(int id, int code, HWND control) {
  if (quiet_ || id == IDOK || id == IDCANCEL) return;  // Enter and Esc do not close a page
  int index = 0;
  if (const Field* f = FieldOfControl(table_, id, &index)) {
    if (code != BN_CLICKED) return;
    const bool checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (IsCheckBox(*f)) {
      WriteCheck(*f, checked, image());
    } else if (checked) {
      WriteChoice(*f, index, image());
      MarkTabStop(*f, index);
    } else {
      return;
    }
    AfterChange(*f);
    return;
  }
  for (const DefaultButton& button : table_.defaults) {
    if (button.id != id) continue;
    if (code != BN_CLICKED) return;
    ApplyFrameDefaults(table_, button.frame, image());
    for (const Field& f : table_.fields) {
      if (f.frame == button.frame) ShowField(f);
    }
    AfterDefaults(button.frame);
    return;
  }
  OnControl(id, code, control);
}

}  // namespace q5r
