// KvOposSetup's dialogs. The program's shared state is one Session, passed
// to each dialog when it opens.
#pragma once

#include <windows.h>

#include <string>

#include "controlobject_win.h"
#include "registration.h"

namespace opos {

struct Session {
  HINSTANCE instance = nullptr;
  Registrations* registrations = nullptr;
  HICON icon = nullptr;       // large
  HICON smallIcon = nullptr;
  std::wstring selectedTestName;
  std::wstring testResultText;
};

inline constexpr wchar_t kProgramTitle[] = L"KvOposSetup";

// The main dialog, modal; returns when it closes.
INT_PTR RunMainDialog(Session& session);
void ShowAbout(HWND owner, Session& session);
// The Description dialog for session.selectedTestName, modal.
void ShowDescription(HWND owner, Session& session);
// The MSR Test dialog on an MSR control object already created, modal.
void RunMsrTest(HWND owner, Session& session, ControlObject& msr);
// The description of a test, by its name; "" for an unknown one.
const wchar_t* DescriptionOf(const std::wstring& testName);

}  // namespace opos
