// Commands: menu items by caption path, menu state through the program's
// channel message, and toolbar buttons.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "guidriver_win.h"
#include "handle_win.h"

namespace guidriver {
namespace {

using Items = std::vector<MenuMap::Item>;

Items ReadMenu(HMENU menu) {
  Items items;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t caption[256] = L"";
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_STRING | MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
    mii.dwTypeData = caption;
    mii.cch = static_cast<UINT>(std::size(caption));
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii) || (mii.fType & MFT_SEPARATOR)) continue;
    std::wstring text = caption;
    text = text.substr(0, text.find(L'\t'));
    if (mii.hSubMenu) {
      items.push_back({text, 0, ReadMenu(mii.hSubMenu)});
    } else {
      items.push_back({text, mii.wID, {}});
    }
  }
  return items;
}

LRESULT Ask(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT failed, UINT timeoutMs = 2000) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, timeoutMs, &result)) return failed;
  return static_cast<LRESULT>(result);
}

}  // namespace

MenuMap::MenuMap(const std::wstring& exePath, UINT menuId) {
  kit::UniqueModule module(
      LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) throw std::runtime_error("MenuMap: cannot load " + Narrow(exePath));
  HMENU menu = LoadMenuW(module.get(), MAKEINTRESOURCEW(menuId));
  if (!menu) {
    throw std::runtime_error("MenuMap: no menu " + std::to_string(menuId) + " in " + Narrow(exePath));
  }
  top_ = ReadMenu(menu);
  DestroyMenu(menu);
}

UINT MenuMap::Id(std::initializer_list<std::wstring_view> path) const {
  const Items* level = &top_;
  std::wstring walked;
  for (auto it = path.begin(); it != path.end(); ++it) {
    const auto match = std::find_if(level->begin(), level->end(), [it](const Item& i) { return i.caption == *it; });
    if (match == level->end()) {
      std::wstring available;
      for (const auto& i : *level) available += L" \"" + i.caption + L"\"";
      throw std::runtime_error("MenuMap: no item \"" + Narrow(*it) + "\" under \"" + Narrow(walked) +
                               "\"; available:" + Narrow(available));
    }
    walked += (walked.empty() ? L"" : L" > ") + match->caption;
    if (std::next(it) == path.end()) {
      if (!match->children.empty()) throw std::runtime_error("MenuMap: \"" + Narrow(walked) + "\" is a pop-up");
      return match->id;
    }
    level = &match->children;
  }
  throw std::runtime_error("MenuMap: empty caption path");
}

void InvokeCommand(HWND mainWindow, UINT id) { PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

UINT MenuState(HWND mainWindow, const wchar_t* channelMessage, UINT id, int timeoutMs) {
  const UINT msg = RegisterWindowMessageW(channelMessage);
  return static_cast<UINT>(Ask(mainWindow, msg, id, 0, static_cast<LRESULT>(0xFFFFFFFFu), static_cast<UINT>(timeoutMs)));
}

HWND FindToolbar(HWND mainWindow) { return FindChild(mainWindow, {.className = TOOLBARCLASSNAMEW}); }

bool IsChecked(HWND toolbar, UINT id) { return Ask(toolbar, TB_ISBUTTONCHECKED, id, 0, 0) != 0; }

bool IsEnabled(HWND toolbar, UINT id) { return Ask(toolbar, TB_ISBUTTONENABLED, id, 0, 0) != 0; }

bool ClickToolbarButton(HWND toolbar, UINT id) {
  const LRESULT index = Ask(toolbar, TB_COMMANDTOINDEX, id, 0, -1);
  if (index < 0) return false;
  // TB_GETITEMRECT writes through its pointer inside the toolbar's process,
  // so the RECT has to live there.
  DWORD pid = 0;
  GetWindowThreadProcessId(toolbar, &pid);
  kit::UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
  if (!process) return false;
  void* remote = VirtualAllocEx(process.get(), nullptr, sizeof(RECT), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return false;
  RECT rc{};
  const bool located = Ask(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote), 0) &&
                       ReadProcessMemory(process.get(), remote, &rc, sizeof rc, nullptr);
  VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
  if (!located || IsRectEmpty(&rc)) return false;
  // Both posted together: posted messages are taken before any real mouse
  // input, so the pointer's true position cannot come in between.
  const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  return PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at) && PostMessageW(toolbar, WM_LBUTTONUP, 0, at);
}

}  // namespace guidriver
