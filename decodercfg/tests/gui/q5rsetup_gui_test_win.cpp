#include "q5rsetup_gui_test_win.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <commctrl.h>

#include "handle_win.h"
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

LRESULT Ask(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT timeoutMs = 2000) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, timeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// Memory inside the process that owns `hwnd`, for messages whose pointers
// the control writes through or reads from in its own process.
class RemoteBlock {
 public:
  RemoteBlock(HWND hwnd, std::size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (process_) base_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (base_) VirtualFreeEx(process_.get(), base_, 0, MEM_RELEASE);
  }
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;

  bool ok() const { return base_ != nullptr; }
  // The remote address of byte `offset`.
  void* At(std::size_t offset) const { return static_cast<char*>(base_) + offset; }
  bool Write(std::size_t offset, const void* data, std::size_t n) const {
    return offset + n <= size_ && WriteProcessMemory(process_.get(), At(offset), data, n, nullptr);
  }
  bool Read(std::size_t offset, void* data, std::size_t n) const {
    return offset + n <= size_ && ReadProcessMemory(process_.get(), At(offset), data, n, nullptr);
  }

 private:
  kit::UniqueHandle process_;
  void* base_ = nullptr;
  std::size_t size_;
};

constexpr std::size_t kTextChars = 512;

std::wstring ReadRemoteText(const RemoteBlock& block, std::size_t offset) {
  std::wstring text(kTextChars, L'\0');
  if (!block.Read(offset, text.data(), kTextChars * sizeof(wchar_t))) return L"";
  text.resize(text.find(L'\0'));
  return text;
}

}  // namespace

// Opened with every kind of sharing: a test that polls a file the program
// is replacing must not make the program's replace fail.
std::optional<std::string> ReadBytes(const std::wstring& path) {
  kit::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string data;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
  return data;
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

std::string Q5RSetupTest::AdkbLogWhen(const std::function<bool(const std::string&)>& done) const {
  std::string log;
  Poll([&] { return done(log = AdkbLog()); }, kTimeout);
  return log;
}

// ---- controls of the open child window ----

HWND Q5RSetupTest::Child() {
  HWND client = FindChild(main_, {.className = L"MDIClient"});
  return client ? FindChild(client, {.className = q5r::kChildWindowClass}) : nullptr;
}

HWND Q5RSetupTest::Control(int id) {
  HWND child = Child();
  if (!child) return nullptr;
  // The controls of a child window are made once: look them up once.
  if (child != controlsOf_) {
    controls_.clear();
    for (HWND hwnd : Children(child)) controls_.emplace(GetDlgCtrlID(hwnd), hwnd);
    controlsOf_ = child;
  }
  const auto found = controls_.find(id);
  return found != controls_.end() && IsWindow(found->second) ? found->second : nullptr;
}

bool Q5RSetupTest::IsOn(int id) { return Ask(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool Q5RSetupTest::IsEnabledControl(int id) { return IsWindowEnabled(Control(id)) != FALSE; }

bool Q5RSetupTest::IsShown(int id) { return IsWindowVisible(Control(id)) != FALSE; }

std::wstring Q5RSetupTest::TextOf(int id) { return Text(Control(id)); }

void Q5RSetupTest::Click(int id) {
  HWND control = Control(id);
  ASSERT_NE(control, nullptr) << "no control " << id;
  Ask(control, BM_CLICK, 0, 0, kTimeout);
}

void Q5RSetupTest::PostClick(int id) {
  HWND control = Control(id);
  ASSERT_NE(control, nullptr) << "no control " << id;
  PostMessageW(control, BM_CLICK, 0, 0);
}

void Q5RSetupTest::Type(int id, const std::wstring& text, bool wait) {
  HWND control = Control(id);
  ASSERT_NE(control, nullptr) << "no control " << id;
  DWORD_PTR result = 0;
  // Not waiting: the text travels with the message, which the program
  // handles after the time-out has let us go on.
  const UINT timeout = wait ? kTimeout : 200;
  if (ClassOf(control) == L"ComboBox") {
    // A combo box's edit field reports only what is typed, not WM_SETTEXT:
    // replace its whole text as typing over a selection would.
    HWND edit = FindChild(control, WindowQuery().Class(L"Edit").HiddenToo());
    ASSERT_NE(edit, nullptr);
    Ask(edit, EM_SETSEL, 0, -1);
    SendMessageTimeoutW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, timeout,
                        &result);
    return;
  }
  SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, timeout,
                      &result);
}

void Q5RSetupTest::ChooseItem(int id, int index) {
  HWND combo = Control(id);
  ASSERT_NE(combo, nullptr) << "no control " << id;
  Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  // What the combo box tells its parent when the user picks an entry.
  Ask(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

std::vector<std::wstring> Q5RSetupTest::TabCaptions() {
  std::vector<std::wstring> captions;
  HWND tabs = FindChild(Child(), WindowQuery().Class(WC_TABCONTROLW));
  if (!tabs) return captions;
  RemoteBlock block(tabs, sizeof(TCITEMW) + kTextChars * sizeof(wchar_t));
  if (!block.ok()) return captions;
  const auto count = static_cast<int>(Ask(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = static_cast<wchar_t*>(block.At(sizeof item));
    item.cchTextMax = static_cast<int>(kTextChars);
    block.Write(0, &item, sizeof item);
    Ask(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(block.At(0)));
    captions.push_back(ReadRemoteText(block, sizeof item));
  }
  return captions;
}

std::vector<std::wstring> Q5RSetupTest::TabTips() {
  std::vector<std::wstring> tips;
  HWND tabs = FindChild(Child(), WindowQuery().Class(WC_TABCONTROLW));
  HWND tooltip = tabs ? reinterpret_cast<HWND>(Ask(tabs, TCM_GETTOOLTIPS, 0, 0)) : nullptr;
  if (!tooltip) return tips;
  RemoteBlock block(tooltip, sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t));
  if (!block.ok()) return tips;
  const auto count = static_cast<int>(Ask(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = tabs;
    tool.uId = static_cast<UINT_PTR>(i);
    tool.lpszText = static_cast<wchar_t*>(block.At(sizeof tool));
    const wchar_t none = L'\0';
    block.Write(sizeof tool, &none, sizeof none);
    block.Write(0, &tool, sizeof tool);
    Ask(tooltip, TTM_GETTEXTW, kTextChars, reinterpret_cast<LPARAM>(block.At(0)));
    tips.push_back(ReadRemoteText(block, sizeof tool));
  }
  return tips;
}

void Q5RSetupTest::ClickTab(int index) {
  HWND tabs = FindChild(Child(), WindowQuery().Class(WC_TABCONTROLW));
  ASSERT_NE(tabs, nullptr) << "no tab strip";
  RemoteBlock block(tabs, sizeof(RECT));
  ASSERT_TRUE(block.ok());
  RECT rc{};
  ASSERT_TRUE(Ask(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block.At(0))));
  ASSERT_TRUE(block.Read(0, &rc, sizeof rc));
  const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(tabs, WM_LBUTTONUP, 0, at);
  ASSERT_TRUE(Poll([&] { return Ask(tabs, TCM_GETCURSEL, 0, 0) == index; }, kTimeout)) << "tab " << index;
}

// ---- files ----

void Q5RSetupTest::OpenFile(const std::wstring& path) {
  Choose({L"&File", L"&Open..."});
  FileDialog(L"Open", path);
  ASSERT_TRUE(Poll([&] { return Caption() == L"Configuration Setup: " + path; }, kTimeout)) << Narrow(Caption());
}

std::string Q5RSetupTest::SaveAs(const std::wstring& path) {
  Choose({L"&File", L"Save &As..."});
  FileDialog(L"Save As", path);
  const bool saved = Poll([&] { return Caption().rfind(L"Configuration Setup: " + path, 0) == 0; }, kTimeout);
  EXPECT_TRUE(saved) << Narrow(Caption());
  return ReadBytes(path).value_or("");
}

}  // namespace q5rtest
