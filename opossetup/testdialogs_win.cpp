// The About box, the Description dialog and the MSR Test dialog.
#include <windows.h>

#include <array>

#include "dialogs_win.h"
#include "resource.h"

namespace opos {

const wchar_t* DescriptionOf(const std::wstring& testName) {
  if (testName == L"Cash Drawer1" || testName == L"Cash Drawer2") {
    return L"Once the Cash Drawer is open you have 10 seconds to close the drawer and complete the "
           L"test.Now \"Close\" this box to activate the test.";
  }
  if (testName == L"Line Display") {
    return L"The first line is displayed after a clear screen.The second line is displayed using cursor "
           L"control.";
  }
  if (testName == L"MSR") {
    return L"Slide a credit card through the MSR. The information contained in the magnetic stripe on the "
           L"credit card should appear. Now \"Close\" this box to activate the test.";
  }
  return L"";
}

namespace {

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) noexcept {
  switch (msg) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(hwnd, IDOK);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DescriptionProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  switch (msg) {
    case WM_INITDIALOG: {
      const auto* session = reinterpret_cast<const Session*>(lp);
      SetDlgItemTextW(hwnd, IDC_SELECTED_TEST, session->selectedTestName.c_str());
      SetDlgItemTextW(hwnd, IDC_DESCRIPTION, DescriptionOf(session->selectedTestName));
      SetFocus(GetDlgItem(hwnd, IDOK));  // Enter goes on with the test
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(hwnd, LOWORD(wp));
      return TRUE;
    default:
      return FALSE;
  }
}

// ---- MSR Test -----------------------------------------------------------------

constexpr wchar_t kOpenFailed[] = L"MSR Open Failed";
constexpr wchar_t kReadError[] = L"An MSR Error Occured - Clean your card";
constexpr wchar_t kSwipePrompt[] = L"Swipe Your MSR Test Card";
constexpr RECT kPromptRect = {113, 3, 247, 15};  // dialog units

constexpr std::array<int, 10> kMsrFields = {IDC_MSR_DEVNAME,  IDC_MSR_FIRSTNAME, IDC_MSR_MI,
                                            IDC_MSR_LASTNAME, IDC_MSR_EXPDATE,   IDC_MSR_ACCOUNT,
                                            IDC_MSR_TRACK1,   IDC_MSR_TRACK2,    IDC_MSR_TRACK3,
                                            IDC_MSR_MESSAGE};

struct MsrTest {
  Session& session;
  ControlObject& msr;
  HWND hwnd = nullptr;

  void Set(int id, const std::wstring& text) { SetDlgItemTextW(hwnd, id, text.c_str()); }

  void Failed() {
    Set(IDC_MSR_MESSAGE, kOpenFailed);
    session.testResultText = L"OPOS Failure";
  }

  void Init() {
    // In dialog units, so it scales with the dialog's font and the screen.
    RECT at = kPromptRect;
    MapDialogRect(hwnd, &at);
    HWND prompt = CreateWindowExW(0, L"STATIC", kSwipePrompt, WS_CHILD | WS_VISIBLE | SS_CENTER | WS_BORDER,
                                  at.left, at.top, at.right - at.left, at.bottom - at.top, hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MSR_PROMPT)),
                                  session.instance, nullptr);
    SendMessageW(prompt, WM_SETFONT, SendMessageW(hwnd, WM_GETFONT, 0, 0), FALSE);
    msr.Advise([this](DISPID event, DISPPARAMS&) {
      if (event == dispid::kDataEvent) {
        OnData();
      } else if (event == dispid::kErrorEvent) {
        Set(IDC_MSR_MESSAGE, kReadError);
      }
    });

    if (msr.CallLong(dispid::kOpen, std::move(Args().Text(L"KvMsr"))) != 0) {
      Failed();
      return;
    }
    if (msr.CallLong(dispid::kClaimDevice, std::move(Args().Long(1000))) != 0) {
      msr.Call(dispid::kClose);
      Failed();
      return;
    }
    msr.PutBool(dispid::kDeviceEnabled, true);
    if (msr.GetLong(dispid::kResultCode) != 0) {
      msr.Call(dispid::kReleaseDevice);
      msr.Call(dispid::kClose);
      Failed();
      return;
    }
    msr.PutBool(dispid::kDataEventEnabled, true);
    if (msr.GetLong(dispid::kResultCode) != 0) {
      msr.Call(dispid::kReleaseDevice);
      msr.Call(dispid::kClose);
      Failed();
      return;
    }
    msr.PutLong(dispid::kTracksToRead, 7);
    msr.GetLong(dispid::kResultCode);
    msr.PutLong(dispid::kMsrLongProperty55, 1);
    session.testResultText = L"OPOS Success";
  }

  void OnData() {
    Set(IDC_MSR_FIRSTNAME, msr.GetString(dispid::kFirstName));
    Set(IDC_MSR_MI, msr.GetString(dispid::kMiddleInitial));
    Set(IDC_MSR_LASTNAME, msr.GetString(dispid::kSurname));
    Set(IDC_MSR_EXPDATE, msr.GetString(dispid::kExpirationDate));
    Set(IDC_MSR_ACCOUNT, msr.GetString(dispid::kAccountNumber));
    Set(IDC_MSR_DEVNAME, msr.GetString(dispid::kDeviceName));
    Set(IDC_MSR_TRACK1, msr.GetString(dispid::kTrack1Data));
    Set(IDC_MSR_TRACK2, msr.GetString(dispid::kTrack2Data));
    Set(IDC_MSR_TRACK3, msr.GetString(dispid::kTrack3Data));
    msr.PutBool(dispid::kDataEventEnabled, true);  // deliver the next card too
    // One reading of State for both the message and the result.
    const long state = msr.GetLong(dispid::kState);
    const wchar_t* message = nullptr;
    switch (state) {
      case 1: message = L"Status indicates MSR Closed"; break;
      case 2: message = L"Status indicates MSR Idle"; break;
      case 3: message = L"Status indicates MSR Busy"; break;
      case 4: message = L"Status indicates MSR Error"; break;
      default: break;
    }
    if (message) Set(IDC_MSR_MESSAGE, message);
    session.testResultText = state == 4 ? L"OPOS Failure" : L"OPOS Success";
  }

  void Command(int control) {
    switch (control) {
      case IDC_MSR_CLEAR:
        for (int id : kMsrFields) Set(id, L"");
        return;
      case IDOK:  // "Close"
        msr.Call(dispid::kReleaseDevice);
        msr.Call(dispid::kClose);
        DestroyWindow(GetDlgItem(hwnd, IDC_MSR_PROMPT));
        EndDialog(hwnd, IDOK);
        return;
      case IDCANCEL:  // Escape or the close box: no release, no close
        EndDialog(hwnd, IDCANCEL);
        return;
      default:
        return;
    }
  }
};

INT_PTR CALLBACK MsrTestProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  auto* test = reinterpret_cast<MsrTest*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      test = reinterpret_cast<MsrTest*>(lp);
      test->hwnd = hwnd;
      SetWindowLongPtrW(hwnd, DWLP_USER, lp);
      test->Init();
      return TRUE;
    case WM_COMMAND:
      if (test) test->Command(LOWORD(wp));
      return TRUE;
    case WM_DESTROY:
      if (test) test->msr.Unadvise();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAbout(HWND owner, Session& session) {
  DialogBoxParamW(session.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, 0);
}

void ShowDescription(HWND owner, Session& session) {
  DialogBoxParamW(session.instance, MAKEINTRESOURCEW(IDD_DESCRIPTION), owner, DescriptionProc,
                  reinterpret_cast<LPARAM>(&session));
}

void RunMsrTest(HWND owner, Session& session, ControlObject& msr) {
  MsrTest test{session, msr};
  DialogBoxParamW(session.instance, MAKEINTRESOURCEW(IDD_MSRTEST), owner, MsrTestProc,
                  reinterpret_cast<LPARAM>(&test));
}

}  // namespace opos
