// guidriver against guidriver_target: every helper used once on a real
// window in another process, as the GUI tests of our programs will use them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "guidriver_target_ids.h"
#include "guidriver_win.h"

namespace gd = guidriver;

namespace {

constexpr int kWaitMs = 10000;
constexpr wchar_t kChannel[] = L"GuidriverTarget.MenuState";

std::wstring BesideMe(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const std::wstring me(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return me.substr(0, me.find_last_of(L'\\') + 1) + name;
}

std::wstring TempPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"gd_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

class Target : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<gd::Process>(BesideMe(L"guidriver_target.exe"));
    ASSERT_TRUE(app_->Started()) << "CreateProcess error " << app_->StartError();
    main_ = gd::WaitForWindow(app_->Pid(), {.caption = L"Guidriver Target"}, kWaitMs);
    ASSERT_NE(main_, nullptr) << Describe();
    status_ = gd::FindChild(main_, {.className = L"Static"});
    ASSERT_NE(status_, nullptr) << Describe();
    ASSERT_EQ(GetDlgCtrlID(status_), IDC_STATUS);
  }

  std::string Describe() const { return gd::Narrow(gd::DescribeWindows(app_->Pid())); }

  // Waits for the status line; on failure says what it was and what is on screen.
  ::testing::AssertionResult StatusBecomes(const std::wstring& expected, int timeoutMs = kWaitMs) const {
    if (gd::Poll([&] { return gd::Text(status_) == expected; }, timeoutMs)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status \"" << gd::Narrow(gd::Text(status_)) << "\", expected \""
                                         << gd::Narrow(expected) << "\"\n"
                                         << Describe();
  }

  std::unique_ptr<gd::Process> app_;
  HWND main_ = nullptr;
  HWND status_ = nullptr;
};

TEST(Process, PassesArgumentsAndEnvironment) {
  gd::Process cmd(L"C:\\windows\\system32\\cmd.exe", {L"/c", L"exit %GD_VALUE%"}, {}, {{L"GD_VALUE", L"7"}});
  ASSERT_TRUE(cmd.Started()) << cmd.StartError();
  DWORD code = 0;
  ASSERT_TRUE(cmd.WaitExit(kWaitMs, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_FALSE(cmd.IsRunning());
}

TEST(Process, DestructorKillsAProgramStillRunning) {
  DWORD pid = 0;
  {
    gd::Process app(BesideMe(L"guidriver_target.exe"));
    ASSERT_TRUE(app.Started());
    pid = app.Pid();
    ASSERT_NE(gd::WaitForWindow(pid, {.caption = L"Guidriver Target"}, kWaitMs), nullptr);
  }
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (h) {
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    CloseHandle(h);
  }
  EXPECT_TRUE(gd::TopWindows(pid).empty());
}

TEST(Process, DestructorKillsWhatTheProgramStarted) {
  DWORD grandchild = 0;
  {
    // cmd runs start.exe, which starts the target and ends; so does cmd.
    gd::Process cmd(L"C:\\windows\\system32\\cmd.exe", {L"/c", L"start", L"", BesideMe(L"guidriver_target.exe")});
    ASSERT_TRUE(cmd.Started());
    ASSERT_TRUE(gd::Poll([&] {
      HWND window = FindWindowW(L"GuidriverTarget", nullptr);
      return window && GetWindowThreadProcessId(window, &grandchild) && grandchild != cmd.Pid();
    }, kWaitMs));
  }
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, grandchild);
  if (h) {
    EXPECT_EQ(WaitForSingleObject(h, kWaitMs), WAIT_OBJECT_0);
    CloseHandle(h);
  }
}

TEST_F(Target, DescribesItsWindows) {
  const std::wstring dump = gd::DescribeWindows(app_->Pid());
  EXPECT_NE(dump.find(L"\"Guidriver Target\""), std::wstring::npos) << gd::Narrow(dump);
  EXPECT_NE(dump.find(L"ToolbarWindow32"), std::wstring::npos) << gd::Narrow(dump);
  EXPECT_NE(dump.find(L"Button \"&Ask\""), std::wstring::npos) << gd::Narrow(dump);
  EXPECT_EQ(gd::FindTopWindow(app_->Pid(), gd::WindowQuery().Prefix(L"Guidriver ")), main_);
  EXPECT_EQ(gd::FindTopWindow(app_->Pid(), gd::WindowQuery().Prefix(L"Guidriver").Class(L"Nope")), nullptr);
  EXPECT_GT(app_->MillisecondsSinceStart(), 0);
}

TEST_F(Target, MenuMapResolvesCaptionPathsFromTheExe) {
  const gd::MenuMap menu(BesideMe(L"guidriver_target.exe"), IDR_TARGETMENU);
  EXPECT_EQ(menu.Id({L"&File", L"&Open..."}), static_cast<UINT>(IDM_OPEN));
  EXPECT_EQ(menu.Id({L"&File", L"&Recent", L"&Second"}), static_cast<UINT>(IDM_RECENT_SECOND));
  EXPECT_EQ(menu.Id({L"&Options", L"&Locked"}), static_cast<UINT>(IDM_LOCKED));
  try {
    menu.Id({L"&File", L"Open..."});
    ADD_FAILURE() << "a caption without its '&' must not match";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("\"&Open...\" \"&Recent\" \"E&xit\""), std::string::npos) << e.what();
  }
  EXPECT_THROW(menu.Id({L"&File", L"&Recent"}), std::runtime_error);  // a pop-up has no command
  EXPECT_THROW(gd::MenuMap(BesideMe(L"guidriver_target.exe"), 999), std::runtime_error);
}

TEST_F(Target, InvokesMenuCommandsAndReadsTheirState) {
  const gd::MenuMap menu(BesideMe(L"guidriver_target.exe"), IDR_TARGETMENU);
  gd::InvokeCommand(main_, menu.Id({L"&File", L"&Recent", L"&Second"}));
  EXPECT_TRUE(StatusBecomes(L"command 203"));

  const UINT beep = menu.Id({L"&Options", L"&Beep"});
  EXPECT_EQ(gd::MenuState(main_, kChannel, beep) & (MF_CHECKED | MF_GRAYED), 0u);
  gd::InvokeCommand(main_, beep);
  EXPECT_TRUE(StatusBecomes(L"beep on"));
  EXPECT_EQ(gd::MenuState(main_, kChannel, beep) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
  EXPECT_EQ(gd::MenuState(main_, kChannel, IDM_LOCKED) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  EXPECT_EQ(gd::MenuState(main_, kChannel, 9999), 0xFFFFFFFFu);

  gd::InvokeCommand(main_, menu.Id({L"&File", L"E&xit"}));
  DWORD code = 1;
  EXPECT_TRUE(app_->WaitExit(kWaitMs, &code));
  EXPECT_EQ(code, 0u);
}

TEST_F(Target, ReadsAndAnswersAMessageBox) {
  EXPECT_TRUE(gd::NoMessageBox(app_->Pid(), 200));
  ASSERT_TRUE(gd::Press(main_, L"Ask"));  // with or without '&'
  const auto box = gd::WaitMessageBox(app_->Pid(), kWaitMs);
  ASSERT_TRUE(box) << Describe();
  EXPECT_EQ(box->caption, L"Target Question");
  EXPECT_EQ(box->text, L"Keep the changes?");
  EXPECT_EQ(box->buttons, (std::vector<std::wstring>{L"&Yes", L"&No", L"Cancel"})) << Describe();
  EXPECT_FALSE(gd::Press(*box, L"&Maybe"));
  EXPECT_TRUE(gd::Press(*box, L"&No"));
  EXPECT_TRUE(StatusBecomes(L"answer: no"));
  EXPECT_TRUE(gd::NoMessageBox(app_->Pid(), 200));

  ASSERT_TRUE(gd::Press(main_, L"&Ask"));
  const auto again = gd::WaitMessageBox(app_->Pid(), kWaitMs);
  ASSERT_TRUE(again) << Describe();
  EXPECT_TRUE(gd::Press(*again, L"Yes"));
  EXPECT_TRUE(StatusBecomes(L"answer: yes"));
}

TEST_F(Target, SavesThroughTheSaveAsDialog) {
  const std::wstring path = TempPath(L"saved.cfg");
  DeleteFileW(path.c_str());
  ASSERT_TRUE(gd::Press(main_, L"&Save"));
  const auto dialog = gd::WaitFileDialog(app_->Pid(), L"Save As", kWaitMs);
  ASSERT_TRUE(dialog) << Describe();
  EXPECT_EQ(gd::FileName(*dialog), L"initial.cfg") << Describe();
  ASSERT_TRUE(gd::SetFileName(*dialog, path));
  gd::PressOk(*dialog);
  EXPECT_TRUE(StatusBecomes(L"saved: " + path));
}

TEST_F(Target, CancelsTheSaveAsDialog) {
  ASSERT_TRUE(gd::Press(main_, L"&Save"));
  const auto dialog = gd::WaitFileDialog(app_->Pid(), L"Save As", kWaitMs);
  ASSERT_TRUE(dialog) << Describe();
  gd::PressCancel(*dialog);
  EXPECT_TRUE(StatusBecomes(L"save cancelled"));
}

TEST_F(Target, AnswersTheReplaceQuestionOfTheSaveAsDialog) {
  const std::wstring path = TempPath(L"existing.cfg");
  std::ofstream(std::filesystem::path(path)) << "old";
  ASSERT_TRUE(gd::Press(main_, L"&Save"));
  const auto dialog = gd::WaitFileDialog(app_->Pid(), L"Save As", kWaitMs);
  ASSERT_TRUE(dialog) << Describe();
  ASSERT_TRUE(gd::SetFileName(*dialog, path));
  gd::PressOk(*dialog);
  const auto question = gd::WaitMessageBox(app_->Pid(), kWaitMs);
  ASSERT_TRUE(question) << Describe();
  EXPECT_NE(question->text.find(L"replace"), std::wstring::npos) << gd::Narrow(question->text);
  EXPECT_TRUE(gd::Press(*question, L"&Yes")) << Describe();
  EXPECT_TRUE(StatusBecomes(L"saved: " + path));
  DeleteFileW(path.c_str());
}

TEST_F(Target, ClicksToolbarButtons) {
  HWND toolbar = gd::FindToolbar(main_);
  ASSERT_NE(toolbar, nullptr) << Describe();
  EXPECT_TRUE(gd::IsEnabled(toolbar, IDT_STICKY));
  EXPECT_FALSE(gd::IsEnabled(toolbar, IDT_DISABLED));
  EXPECT_FALSE(gd::IsChecked(toolbar, IDT_STICKY));

  ASSERT_TRUE(gd::ClickToolbarButton(toolbar, IDT_STICKY));
  EXPECT_TRUE(StatusBecomes(L"tool 501 checked=1"));
  EXPECT_TRUE(gd::IsChecked(toolbar, IDT_STICKY));
  ASSERT_TRUE(gd::ClickToolbarButton(toolbar, IDT_STICKY));
  EXPECT_TRUE(StatusBecomes(L"tool 501 checked=0"));
  EXPECT_FALSE(gd::IsChecked(toolbar, IDT_STICKY));

  ASSERT_TRUE(gd::ClickToolbarButton(toolbar, IDT_PLAIN));
  EXPECT_TRUE(StatusBecomes(L"tool 502"));
  EXPECT_FALSE(gd::ClickToolbarButton(toolbar, 9999));
}

}  // namespace
