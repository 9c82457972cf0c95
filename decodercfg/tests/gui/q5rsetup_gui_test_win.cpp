#include "q5rsetup_gui_test_win.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "windownames.h"
#include "resource.h"

namespace q5rtest {

using namespace guidriver;

namespace {

std::wstring ModuleDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir = path;
  return dir.substr(0, dir.find_last_of(L'\\'));
}

}  // namespace

std::optional<std::string> ReadBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::wstring& path, const std::string& data) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out << data;
}

void Q5RSetupTest::SetUp() {
  binDir_ = ModuleDir();
  exe_ = binDir_ + L"\\Q5RSetup.exe";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::wstringstream name;
  name << temp << L"q5r-" << GetCurrentProcessId() << L"-" << info->name();
  dir_ = name.str();
  CreateDirectoryW(dir_.c_str(), nullptr);
}

void Q5RSetupTest::TearDown() {
  if (HasFailure() && app_) {
    std::cout << "Windows of Q5RSetup at the failure:\n" << Narrow(DescribeWindows(app_->Pid()));
  }
  app_.reset();  // kills the program if it still runs
}

void Q5RSetupTest::Start(const Environment& extra, const std::wstring& exe) {
  const std::wstring program = exe.empty() ? exe_ : exe;
  Environment env = extra;
  env.emplace_back(L"ADKB_STANDIN_LOG", Temp(L"adkb.log"));
  app_ = std::make_unique<Process>(program, std::vector<std::wstring>{}, dir_, env);
  ASSERT_TRUE(app_->Started()) << "CreateProcess failed: " << app_->StartError();
  menu_ = std::make_unique<MenuMap>(program, IDR_MAINMENU);
  main_ = WaitForWindow(app_->Pid(), {.className = q5r::kMainWindowClass}, kTimeout);
  ASSERT_NE(main_, nullptr) << "no main window";
  toolbar_ = FindToolbar(main_);
  ASSERT_NE(toolbar_, nullptr);
}

void Q5RSetupTest::Choose(std::initializer_list<std::wstring_view> path) {
  InvokeCommand(main_, menu_->Id(path));
}

UINT Q5RSetupTest::MenuState(std::initializer_list<std::wstring_view> path) {
  return StateOf(menu_->Id(path));
}

UINT Q5RSetupTest::StateOf(UINT commandId) {
  return guidriver::MenuState(main_, q5r::kMenuStateMessage, commandId);
}

bool Q5RSetupTest::Checked(std::initializer_list<std::wstring_view> path) {
  const UINT state = MenuState(path);
  EXPECT_NE(state, 0xFFFFFFFFu);
  return (state & MF_CHECKED) != 0;
}

bool Q5RSetupTest::Greyed(std::initializer_list<std::wstring_view> path) {
  const UINT state = MenuState(path);
  EXPECT_NE(state, 0xFFFFFFFFu);
  return (state & MF_GRAYED) != 0;
}

std::wstring Q5RSetupTest::ChildCaption() {
  HWND client = FindChild(main_, {.className = L"MDIClient"});
  if (!client) return L"";
  HWND child = FindChild(client, {.className = q5r::kChildWindowClass});
  return child ? Text(child) : L"";
}

bool Q5RSetupTest::WaitChild(const std::wstring& caption) {
  return Poll([&] { return ChildCaption() == caption; }, kTimeout);
}

void Q5RSetupTest::Answer(const std::wstring& caption, const std::wstring& text,
                          std::wstring_view button) {
  auto box = WaitMessageBox(app_->Pid(), kTimeout);
  ASSERT_TRUE(box) << "no message box; expected \"" << Narrow(text) << "\"";
  EXPECT_EQ(box->caption, caption);
  EXPECT_EQ(box->text, text);
  ASSERT_TRUE(Press(*box, button)) << "no button " << Narrow(button);
  ASSERT_TRUE(Poll([&] { return !IsWindow(box->hwnd); }, kTimeout));
}

std::wstring Q5RSetupTest::FileDialog(std::wstring_view caption, const std::wstring& path) {
  auto dialog = WaitFileDialog(app_->Pid(), caption, kTimeout);
  if (!dialog) {
    ADD_FAILURE() << "no file dialog " << Narrow(caption);
    return L"";
  }
  const std::wstring shown = FileName(*dialog);
  if (path.empty()) {
    PressCancel(*dialog);
  } else {
    EXPECT_TRUE(SetFileName(*dialog, path));
    PressOk(*dialog);
  }
  return shown;
}

std::string Q5RSetupTest::AdkbLog() const {
  return ReadBytes(Temp(L"adkb.log")).value_or("");
}

}  // namespace q5rtest
