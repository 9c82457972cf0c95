// guidriver: drives a GUI program in another process the way a user would,
// for GoogleTest programs that run under Wine (and on Windows).
//
// Nothing here waits a fixed time: every wait is a Poll with a time-out.
// Clicks that may open a modal box are posted, never sent. Functions that
// look for something return a null HWND or an empty optional when it is not
// there; MenuMap throws std::runtime_error, because a wrong caption path is a
// mistake in the test, not in the program under test.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace guidriver {

// ---- processes --------------------------------------------------------------

// Extra environment variables for the child: name and value. An empty value
// removes the variable from the environment the child inherits.
using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// A program started for a test. Destroying it kills the program, if it
// still runs, and every process it started that still runs.
class Process {
 public:
  // Starts `exe` with `args` (quoted as needed). `workDir` empty: the exe's
  // folder. Check Started() (or Pid() != 0) before using it.
  explicit Process(const std::wstring& exe, const std::vector<std::wstring>& args = {},
                   const std::wstring& workDir = {}, const Environment& env = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return process_ != nullptr; }
  DWORD StartError() const { return startError_; }  // GetLastError of CreateProcessW
  DWORD Pid() const { return pid_; }
  HANDLE Handle() const { return process_; }
  bool IsRunning() const;
  // True when the program ended within `timeoutMs`; its exit code goes to `exitCode`.
  bool WaitExit(int timeoutMs, DWORD* exitCode = nullptr) const;
  // Kills the program and everything it started (its job; TerminateProcess
  // of the program alone when it has no job).
  void Kill();
  // Just before CreateProcessW was called, for time-to-first-window figures.
  std::chrono::steady_clock::time_point StartTime() const { return start_; }
  int MillisecondsSinceStart() const;

 private:
  HANDLE process_ = nullptr;
  HANDLE job_ = nullptr;  // holds the program and all it starts
  DWORD pid_ = 0;
  DWORD startError_ = 0;
  std::chrono::steady_clock::time_point start_;
};

// Calls `done` every ~15 ms until it answers true (returns true) or
// `timeoutMs` has passed (returns false). `done` is always called at least once.
bool Poll(const std::function<bool()>& done, int timeoutMs);

// ---- windows ----------------------------------------------------------------

// What to look for; empty fields match anything. Either designated,
//   {.caption = L"Save As", .className = L"#32770"}
// or chained: WindowQuery{}.Caption(L"Save As").Class(L"#32770").
// (The {} initialisers keep GCC 12's -Wmissing-field-initializers quiet
// about designated initialisers that leave fields out.)
struct WindowQuery {
  std::wstring caption{};        // whole caption, exact
  std::wstring captionPrefix{};  // start of the caption
  std::wstring className{};      // e.g. L"#32770", L"Button"
  bool visibleOnly = true;

  WindowQuery& Caption(std::wstring text) { caption = std::move(text); return *this; }
  WindowQuery& Prefix(std::wstring text) { captionPrefix = std::move(text); return *this; }
  WindowQuery& Class(std::wstring name) { className = std::move(name); return *this; }
  WindowQuery& HiddenToo() { visibleOnly = false; return *this; }
};

std::wstring Text(HWND hwnd);       // WM_GETTEXT with a time-out, so a hung program does not hang us
std::wstring ClassOf(HWND hwnd);
bool Matches(HWND hwnd, const WindowQuery& query);

// Top-level windows that belong to process `pid`, in Z order.
std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly = true);
HWND FindTopWindow(DWORD pid, const WindowQuery& query);
HWND WaitForWindow(DWORD pid, const WindowQuery& query, int timeoutMs);
// Descendants of `parent` (all levels), optionally filtered.
std::vector<HWND> Children(HWND parent, const WindowQuery& query = {.visibleOnly = false});
HWND FindChild(HWND parent, const WindowQuery& query);

// Posts WM_CLOSE to `hwnd`.
void Close(HWND hwnd);

// Top-level windows of `pid` and all their children (handle, class, caption,
// control ID, visible), one per line, for failure messages.
std::wstring DescribeWindows(DWORD pid);
// The same, as UTF-8 for gtest's << and std::cout.
std::string Narrow(std::wstring_view text);

// ---- message boxes ----------------------------------------------------------

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::wstring caption;
  std::wstring text;                  // the text statics, joined by "\n"
  std::vector<std::wstring> buttons;  // captions as shown, with '&'
};

// A visible #32770 window of `pid` with only buttons and statics, whose
// buttons all have captions (so not one half built or half torn down).
std::optional<MessageBoxInfo> FindMessageBox(DWORD pid);
std::optional<MessageBoxInfo> WaitMessageBox(DWORD pid, int timeoutMs);
// True when no message box of `pid` shows up within `ms`.
bool NoMessageBox(DWORD pid, int ms);
// Posts a click on the button of `dialog` whose caption is `caption`; '&'
// is ignored on both sides, so L"&Yes" and L"Yes" are the same. False when
// there is no such button.
bool Press(HWND dialog, std::wstring_view caption);
inline bool Press(const MessageBoxInfo& box, std::wstring_view caption) { return Press(box.hwnd, caption); }

// ---- standard Open / Save As dialogs ----------------------------------------

struct FileDialog {
  HWND hwnd = nullptr;
  HWND nameField = nullptr;  // the edit that holds the file name
};

std::optional<FileDialog> WaitFileDialog(DWORD pid, std::wstring_view caption, int timeoutMs);
std::wstring FileName(const FileDialog& dialog);
bool SetFileName(const FileDialog& dialog, const std::wstring& path);
// Both post: poll for the effect. (Under Wine on a display without a
// window manager it comes 2 s late unless windows are unmanaged; see
// testbed/wine/session.sh.)
void PressOk(const FileDialog& dialog);
void PressCancel(const FileDialog& dialog);

// ---- menus ------------------------------------------------------------------

// The menu resource `menuId` of an EXE, read from the file itself (another
// process's live menu cannot be read under Wine), mapping caption paths such
// as {L"&File", L"&Open..."} to command IDs.
class MenuMap {
 public:
  MenuMap(const std::wstring& exePath, UINT menuId);  // throws std::runtime_error
  // Exact captions, '&' included. Throws, listing the captions available at
  // the level where the path stopped matching.
  UINT Id(std::initializer_list<std::wstring_view> path) const;

  struct Item {
    std::wstring caption;  // without the "\tShortcut" part
    UINT id = 0;           // 0 for pop-ups and separators
    std::vector<Item> children;
  };

 private:
  std::vector<Item> top_;
};

// Posts WM_COMMAND(id) to the main window, as choosing the item would.
void InvokeCommand(HWND mainWindow, UINT id);
// Asks the program, through its registered message `channelMessage`
// (wParam = command ID), for the GetMenuState flags of an item: MF_CHECKED,
// MF_GRAYED, MF_DISABLED; 0xFFFFFFFF when there is no such item or no answer.
UINT MenuState(HWND mainWindow, const wchar_t* channelMessage, UINT id, int timeoutMs = 2000);

// ---- toolbars ---------------------------------------------------------------

HWND FindToolbar(HWND mainWindow);
bool IsChecked(HWND toolbar, UINT id);
bool IsEnabled(HWND toolbar, UINT id);
// Asks the toolbar itself for the button's rectangle (through a buffer in the
// program's own memory) and posts a left-button press and release at its
// centre. False when there is no such button or it cannot be located.
bool ClickToolbarButton(HWND toolbar, UINT id);

}  // namespace guidriver
