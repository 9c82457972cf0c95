// KvOposSetup under Wine, driven from outside: what the main dialog shows,
// what each Add, Remove, check box and port choice leaves in the registry,
// how a refused write is reported, and the tests without control objects.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "guidriver_win.h"
#include "handle_win.h"
#include "registry_win.h"
#include "resource.h"

namespace {

using namespace guidriver;

constexpr int kTimeout = 10000;
const std::string kRoot = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
const std::string kDrawers = kRoot + "\\CashDrawer";
const std::string kDisplays = kRoot + "\\LineDisplay";
const std::string kMsrs = kRoot + "\\MSR";
const std::string kCash1 = kDrawers + "\\KvCash1";
const std::string kCash2 = kDrawers + "\\KvCash2";
const std::string kDisplay = kDisplays + "\\KvDisplay";
const std::string kMsr = kMsrs + "\\KvMsr";

std::wstring ModuleDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir = path;
  return dir.substr(0, dir.find_last_of(L'\\'));
}

// A host path as the Wine prefix sees it (drive Z: is the root).
std::wstring HostPath(const char* path) {
  std::wstring out = L"Z:";
  for (const char* p = path; *p; ++p) out += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return out;
}

std::optional<std::string> Value(const std::string& path, const char* name) {
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ, key) != ERROR_SUCCESS) return std::nullopt;
  return kit::QueryString(key.get(), name);
}

void SetValue(const std::string& path, const char* name, const std::string& data) {
  kit::UniqueKey key;
  ASSERT_EQ(kit::CreateKey(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
  ASSERT_EQ(kit::SetString(key.get(), name, data), ERROR_SUCCESS);
}

// Value names, sorted: Wine lists a key's values in name order, Windows in
// the order they were written.
std::vector<std::string> Names(const std::string& path) {
  std::vector<std::string> names;
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ, key) != ERROR_SUCCESS) return names;
  std::string name;
  for (DWORD i = 0; kit::EnumValueName(key.get(), i, name) == ERROR_SUCCESS; ++i) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

// The registry's other view on 64-bit Windows: the 32-bit one for this
// program and KvOposSetup built for 64-bit Windows, the 64-bit one for
// their 32-bit builds.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

std::optional<std::string> ValueOther(const std::string& path, const char* name) {
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ | kOtherView, key) != ERROR_SUCCESS) return std::nullopt;
  return kit::QueryString(key.get(), name);
}

void SetValueOther(const std::string& path, const char* name, const std::string& data) {
  kit::UniqueKey key;
  ASSERT_EQ(kit::CreateKey(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS | kOtherView, key), ERROR_SUCCESS);
  ASSERT_EQ(kit::SetString(key.get(), name, data), ERROR_SUCCESS);
}

std::vector<std::string> NamesOther(const std::string& path) {
  std::vector<std::string> names;
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ | kOtherView, key) != ERROR_SUCCESS) return names;
  std::string name;
  for (DWORD i = 0; kit::EnumValueName(key.get(), i, name) == ERROR_SUCCESS; ++i) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

void DeleteOposOther() {
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail", KEY_ALL_ACCESS | kOtherView, key) ==
      ERROR_SUCCESS) {
    RegDeleteTreeA(key.get(), "ServiceOPOS");
  }
}

// Gives everyone `access` to the key, and nothing more (its own DACL, not
// inherited). The key's owner keeps the right to change it back.
bool SetKeyAccess(const std::string& path, DWORD access) {
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, path, WRITE_DAC, key) != ERROR_SUCCESS) return false;
  EXPLICIT_ACCESS_W entry{};
  entry.grfAccessPermissions = access;
  entry.grfAccessMode = SET_ACCESS;
  entry.grfInheritance = NO_INHERITANCE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  entry.Trustee.ptstrName = const_cast<wchar_t*>(L"EVERYONE");
  PACL acl = nullptr;
  if (SetEntriesInAclW(1, &entry, nullptr, &acl) != ERROR_SUCCESS) return false;
  const DWORD rc = SetSecurityInfo(key.get(), SE_REGISTRY_KEY,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, acl, nullptr);
  LocalFree(acl);
  return rc == ERROR_SUCCESS;
}

class KvOposSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kit::DeleteTree(HKEY_LOCAL_MACHINE, kRoot), ERROR_SUCCESS);
    DeleteOposOther();
    // The keys an installation lays down, from the test bed's registry script.
    Process regedit(L"C:\\windows\\regedit.exe", {L"/s", HostPath(KVOPOS_DEVICES_REG)});
    ASSERT_TRUE(regedit.Started());
    ASSERT_TRUE(regedit.WaitExit(30000));
    ASSERT_EQ(Value(kMsr, ""), "KvSo.KvMsr") << "the registry script was not imported";
  }

  void TearDown() override {
    if (HasFailure() && app_) std::cout << "Windows at the failure:\n" << Narrow(DescribeWindows(app_->Pid()));
    app_.reset();
    // Keys a test made read-only can be deleted again.
    for (const std::string& path : {kCash1, kDisplays}) SetKeyAccess(path, KEY_ALL_ACCESS);
  }

  void Start(const Environment& env = {}) {
    app_ = std::make_unique<Process>(ModuleDir() + L"\\KvOposSetup.exe", std::vector<std::wstring>{},
                                     std::wstring{}, env);
    ASSERT_TRUE(app_->Started()) << "CreateProcess failed: " << app_->StartError();
    main_ = WaitForWindow(app_->Pid(), WindowQuery{}.Caption(L"KvOposSetup").Class(L"#32770"), kTimeout);
    ASSERT_NE(main_, nullptr) << "no main dialog";
  }

  HWND Item(int id) { return GetDlgItem(main_, id); }
  std::wstring TextOf(int id) { return Text(Item(id)); }
  bool Checked(int id) { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

  // A click handled when this returns.
  void Click(int id) {
    DWORD_PTR ignored = 0;
    ASSERT_TRUE(SendMessageTimeoutW(Item(id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kTimeout, &ignored));
  }
  // A click that may open a modal box.
  void PostClick(int id) { PostMessageW(Item(id), BM_CLICK, 0, 0); }
  void Type(int id, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                        kTimeout, &ignored);
  }

  std::vector<std::wstring> Entries(int id) {
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(SendMessageW(Item(id), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[64] = {};
      SendMessageW(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      entries.emplace_back(text);
    }
    return entries;
  }
  std::wstring Selected(int id) {
    const LRESULT index = SendMessageW(Item(id), CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return L"";
    wchar_t text[64] = {};
    SendMessageW(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
  }
  // Chooses an entry as the list does when it closes on it.
  void Choose(int id, const std::wstring& entry, bool post = false) {
    const LRESULT index = SendMessageW(Item(id), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(entry.c_str()));
    ASSERT_NE(index, CB_ERR) << Narrow(entry);
    SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    const WPARAM wp = MAKEWPARAM(id, CBN_SELENDOK);
    const LPARAM lp = reinterpret_cast<LPARAM>(Item(id));
    if (post) {
      PostMessageW(main_, WM_COMMAND, wp, lp);
    } else {
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(main_, WM_COMMAND, wp, lp, SMTO_ABORTIFHUNG, kTimeout, &ignored);
    }
  }

  // Waits for one message box of the program and closes it with OK.
  std::wstring MessageText() {
    auto box = WaitMessageBox(app_->Pid(), kTimeout);
    if (!box) {
      ADD_FAILURE() << "no message box";
      return L"";
    }
    EXPECT_EQ(box->caption, L"KvOposSetup");
    EXPECT_TRUE(Press(*box, L"OK"));
    EXPECT_TRUE(Poll([&] { return !IsWindow(box->hwnd); }, kTimeout));
    return box->text;
  }

  bool WaitText(int id, const std::wstring& text) {
    return Poll([&] { return TextOf(id) == text; }, kTimeout);
  }

  std::unique_ptr<Process> app_;
  HWND main_ = nullptr;
};

TEST_F(KvOposSetupTest, MainDialogShowsTheInstalledDevices) {
  Start();
  for (const wchar_t* caption :
       {L"Cash Drawer 1", L"Cash Drawer 2", L"Line Display", L"Mag Stripe Reader", L"C&ustom Device Name",
        L"Custom Device Name", L"S&et Cash Drawer Status Reporting", L"Select Serial &Port",
        L"Select Serial Port", L"Include LRC  Yes/No", L"Add", L"Remove", L"Test CD 1", L"Test CD2",
        L"Test LD", L"Test MSR", L"E&xit", L"Device Name", L"CD1:", L"CD2:", L"Yes/No",
        L"Test Results Cash Drawer 1", L"Test Results Cash Drawer 2", L"Test Results Line Display",
        L"Test Results MSR"}) {
    EXPECT_NE(FindChild(main_, WindowQuery{}.Caption(caption)), nullptr) << Narrow(caption);
  }
  // Both drawers' status groups bear the same caption.
  std::vector<std::wstring> groups;
  for (HWND child = GetWindow(main_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring caption = Text(child);
    if (caption.find(L"Cash Drawer Status Reporting") != std::wstring::npos) groups.push_back(caption);
  }
  EXPECT_EQ(groups, (std::vector<std::wstring>(2, L"S&et Cash Drawer Status Reporting")));
  EXPECT_EQ(TextOf(IDC_CD1_NAME), L"KvCash1");
  EXPECT_EQ(TextOf(IDC_CD2_NAME), L"KvCash2");
  EXPECT_EQ(TextOf(IDC_LD_NAME), L"KvDisplay");
  EXPECT_EQ(TextOf(IDC_MSR_NAME), L"KvMsr");
  for (int id : {IDC_CD1_CUSTOM, IDC_CD2_CUSTOM, IDC_LD_CUSTOM, IDC_MSR_CUSTOM}) {
    EXPECT_EQ(TextOf(id), L"");
    EXPECT_EQ(SendMessageW(Item(id), EM_GETLIMITTEXT, 0, 0), 20);
  }
  for (int id : {IDC_CD1_RESULT, IDC_CD2_RESULT, IDC_LD_RESULT, IDC_MSR_RESULT}) EXPECT_EQ(TextOf(id), L"");
  EXPECT_FALSE(Checked(IDC_CD1_STATUS));
  EXPECT_FALSE(Checked(IDC_MSR_LRC));
  const std::vector<std::wstring> ports = {L"COM1", L"COM2", L"COM3", L"COM4",
                                           L"COM5", L"COM6", L"COM7", L"COM8"};
  EXPECT_EQ(Entries(IDC_LD_PORT), ports);
  EXPECT_EQ(Entries(IDC_MSR_PORT), ports);
  EXPECT_EQ(Selected(IDC_LD_PORT), L"");
  EXPECT_NE(GetWindowLongW(Item(IDC_LD_PORT), GWL_STYLE) & CBS_SORT, 0);
  EXPECT_NE(GetWindowLongW(main_, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);

  // The system menu's About item.
  PostMessageW(main_, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = WaitForWindow(app_->Pid(), WindowQuery{}.Caption(L"About KvOposSetup"), kTimeout);
  ASSERT_NE(about, nullptr);
  EXPECT_NE(FindChild(about, WindowQuery{}.Caption(L"KvOposSetup Ver.1.0.9")), nullptr);
  EXPECT_TRUE(Press(about, L"OK"));
  EXPECT_TRUE(Poll([&] { return !IsWindow(about); }, kTimeout));

  PostClick(IDC_EXIT);
  DWORD code = 0;
  EXPECT_TRUE(app_->WaitExit(kTimeout, &code));
}

TEST_F(KvOposSetupTest, ShowsWhatTheRegistryHolds) {
  SetValue(kCash1, "CapStatus", "True");
  SetValue(kCash2, "CapStatus", "true");
  SetValue(kMsr, "Lrc", "True");
  SetValue(kDisplay, "Port", "COM3");
  SetValue(kMsr, "Port", "COM9");
  SetValue(kDrawers, "Other", "AcmeDrawer");
  SetValue(kDrawers, "Back Till", "KvCash2");
  SetValue(kDrawers, "Front Till", "KvCash1");
  SetValue(kDisplays, "Pole", "KvDisplay");
  Start();
  EXPECT_TRUE(Checked(IDC_CD1_STATUS));
  EXPECT_FALSE(Checked(IDC_CD2_STATUS));
  EXPECT_TRUE(Checked(IDC_MSR_LRC));
  EXPECT_EQ(Selected(IDC_LD_PORT), L"COM3");
  EXPECT_EQ(Selected(IDC_MSR_PORT), L"");
  EXPECT_EQ(TextOf(IDC_CD1_CUSTOM), L"Front Till");
  EXPECT_EQ(TextOf(IDC_CD2_CUSTOM), L"Back Till");
  EXPECT_EQ(TextOf(IDC_LD_CUSTOM), L"Pole");
  EXPECT_EQ(TextOf(IDC_MSR_CUSTOM), L"");
}

TEST_F(KvOposSetupTest, AddAndRemoveTouchOnlyThisDevicesAliases) {
  SetValue(kDrawers, "Other", "AcmeDrawer");
  SetValue(kDrawers, "Back Till", "KvCash2");
  SetValue(kMsrs, "Wedge", "AcmeMsr");
  Start();
  Type(IDC_CD1_CUSTOM, L"Front Till");
  Click(IDC_CD1_ADD);
  EXPECT_EQ(Value(kDrawers, "Front Till"), "KvCash1");
  EXPECT_EQ(TextOf(IDC_CD1_CUSTOM), L"Front Till");
  Type(IDC_CD1_CUSTOM, L"Till 1");
  Click(IDC_CD1_ADD);
  EXPECT_EQ(Names(kDrawers), (std::vector<std::string>{"Back Till", "Other", "Till 1"}));
  Click(IDC_CD2_REMOVE);
  EXPECT_EQ(Names(kDrawers), (std::vector<std::string>{"Other", "Till 1"}));
  EXPECT_EQ(TextOf(IDC_CD2_CUSTOM), L"");
  EXPECT_EQ(TextOf(IDC_CD1_CUSTOM), L"Till 1");

  Type(IDC_LD_CUSTOM, L"Customer Pole");
  Click(IDC_LD_ADD);
  EXPECT_EQ(Value(kDisplays, "Customer Pole"), "KvDisplay");
  Type(IDC_MSR_CUSTOM, L"Swiper");
  Click(IDC_MSR_ADD);
  EXPECT_EQ(Value(kMsrs, "Swiper"), "KvMsr");
  Click(IDC_MSR_REMOVE);
  EXPECT_EQ(Names(kMsrs), std::vector<std::string>{"Wedge"});
  EXPECT_EQ(TextOf(IDC_MSR_CUSTOM), L"");
  Click(IDC_LD_REMOVE);
  EXPECT_TRUE(Names(kDisplays).empty());

  // An empty field adds nothing, and stays empty.
  Click(IDC_LD_ADD);
  EXPECT_TRUE(Names(kDisplays).empty());
  Type(IDC_CD1_CUSTOM, L"");
  Click(IDC_CD1_ADD);
  EXPECT_EQ(TextOf(IDC_CD1_CUSTOM), L"");
  EXPECT_EQ(Names(kDrawers), (std::vector<std::string>{"Other", "Till 1"}));
}

TEST_F(KvOposSetupTest, AddRefusesANameOfAnotherDevice) {
  SetValue(kDrawers, "Till", "KvCash2");
  Start();
  Type(IDC_CD1_CUSTOM, L"Till");
  PostClick(IDC_CD1_ADD);
  EXPECT_EQ(MessageText(), L"Cash Drawer 1: the custom device name \"Till\" is already used by \"KvCash2\".");
  EXPECT_EQ(Value(kDrawers, "Till"), "KvCash2");
  EXPECT_EQ(TextOf(IDC_CD1_CUSTOM), L"");
}

TEST_F(KvOposSetupTest, CheckBoxesWriteTheirValues) {
  Start();
  Click(IDC_CD1_STATUS);
  EXPECT_EQ(Value(kCash1, "CapStatus"), "True");
  EXPECT_TRUE(Checked(IDC_CD1_STATUS));
  Click(IDC_CD1_STATUS);
  EXPECT_EQ(Value(kCash1, "CapStatus"), "False");
  EXPECT_FALSE(Checked(IDC_CD1_STATUS));
  Click(IDC_CD2_STATUS);
  EXPECT_EQ(Value(kCash2, "CapStatus"), "True");
  Click(IDC_MSR_LRC);
  EXPECT_EQ(Value(kMsr, "Lrc"), "True");
  EXPECT_TRUE(Checked(IDC_MSR_LRC));
  Click(IDC_MSR_LRC);
  EXPECT_EQ(Value(kMsr, "Lrc"), "False");
  EXPECT_EQ(Value(kCash1, "OpSysNT"), "True") << "OpSysNT is the installation's";
}

TEST_F(KvOposSetupTest, PortChoicesWritePort) {
  SetValue(kMsr, "Port", "COM9");
  Start();
  Choose(IDC_LD_PORT, L"COM3");
  EXPECT_EQ(Value(kDisplay, "Port"), "COM3");
  EXPECT_EQ(Value(kMsr, "Port"), "COM9") << "untouched until chosen";
  Choose(IDC_MSR_PORT, L"COM8");
  EXPECT_EQ(Value(kMsr, "Port"), "COM8");
  EXPECT_EQ(Selected(IDC_MSR_PORT), L"COM8");
}

TEST_F(KvOposSetupTest, KeyboardWedgeMsrOffersOneEntry) {
  SetValue(kMsr, "Type", "Keyboard");
  Start();
  EXPECT_EQ(Entries(IDC_MSR_PORT), std::vector<std::wstring>{L"Kbd Msr Selected"});
  EXPECT_EQ(Selected(IDC_MSR_PORT), L"Kbd Msr Selected");
  EXPECT_FALSE(Value(kMsr, "Port")) << "nothing stored until chosen";
  // Choosing the one entry, already selected, stores it.
  Choose(IDC_MSR_PORT, L"Kbd Msr Selected");
  EXPECT_EQ(Value(kMsr, "Port"), "Kbd Msr Selected");
}

// On 64-bit Windows the device keys lie in both registry views; every
// setting KvOposSetup writes goes to both, with each view's custom names
// kept apart.
TEST_F(KvOposSetupTest, WritesGoToBothRegistryViews) {
  for (const auto& [path, progId] : {std::pair{kCash1, "KvSo.KvCash1"}, {kCash2, "KvSo.KvCash2"},
                                     {kDisplay, "KvSo.KvDisplay"}, {kMsr, "KvSo.KvMsr"}}) {
    SetValueOther(path, "", progId);
  }
  SetValueOther(kMsr, "Type", "Serial");
  SetValueOther(kDrawers, "Pole32", "AcmeDrawer");  // another vendor, the other view only
  Start();
  Click(IDC_CD1_STATUS);
  Click(IDC_MSR_LRC);
  Choose(IDC_MSR_PORT, L"COM4");
  Type(IDC_CD2_CUSTOM, L"Back Till");
  Click(IDC_CD2_ADD);
  for (auto read : {Value, ValueOther}) {
    EXPECT_EQ(read(kCash1, "CapStatus"), "True");
    EXPECT_EQ(read(kMsr, "Lrc"), "True");
    EXPECT_EQ(read(kMsr, "Port"), "COM4");
    EXPECT_EQ(read(kDrawers, "Back Till"), "KvCash2");
  }
  EXPECT_EQ(Names(kDrawers), std::vector<std::string>{"Back Till"});
  EXPECT_EQ(NamesOther(kDrawers), (std::vector<std::string>{"Back Till", "Pole32"}));
  Click(IDC_CD2_REMOVE);
  EXPECT_TRUE(Names(kDrawers).empty());
  EXPECT_EQ(NamesOther(kDrawers), std::vector<std::string>{"Pole32"});
}

TEST_F(KvOposSetupTest, DevicesWithoutTheirKeysAreNotSelected) {
  ASSERT_EQ(kit::DeleteTree(HKEY_LOCAL_MACHINE, kCash2), ERROR_SUCCESS);
  SetValue(kMsr, "", "KvSO.KvMsr");  // other letter case: not ours
  Start();
  EXPECT_EQ(TextOf(IDC_CD2_NAME), L"Not Selected");
  EXPECT_EQ(TextOf(IDC_MSR_NAME), L"Not Selected");
  EXPECT_TRUE(Entries(IDC_MSR_PORT).empty());
  Type(IDC_CD2_CUSTOM, L"Till");
  Click(IDC_CD2_ADD);
  Click(IDC_CD2_STATUS);
  EXPECT_FALSE(Checked(IDC_CD2_STATUS));
  Click(IDC_MSR_LRC);
  EXPECT_FALSE(Checked(IDC_MSR_LRC));
  EXPECT_TRUE(Names(kDrawers).empty());
  EXPECT_FALSE(Value(kMsr, "Lrc"));
  Click(IDC_CD2_TEST);
  EXPECT_TRUE(WaitText(IDC_CD2_RESULT, L"Not Selected"));
  Click(IDC_MSR_TEST);
  EXPECT_TRUE(WaitText(IDC_MSR_RESULT, L"Not Selected"));
  EXPECT_TRUE(NoMessageBox(app_->Pid(), 300));
}

TEST_F(KvOposSetupTest, RefusedWritesPutTheControlBackAndSaySo) {
  Start();
  // The keys go while the program runs: every write to them now fails.
  ASSERT_EQ(kit::DeleteTree(HKEY_LOCAL_MACHINE, kCash1), ERROR_SUCCESS);
  ASSERT_EQ(kit::DeleteTree(HKEY_LOCAL_MACHINE, kDisplay), ERROR_SUCCESS);
  ASSERT_EQ(kit::DeleteTree(HKEY_LOCAL_MACHINE, kMsrs), ERROR_SUCCESS);
  PostClick(IDC_CD1_STATUS);
  EXPECT_EQ(MessageText(), L"Cash Drawer 1: the status reporting setting (\"CapStatus\") could not be saved.");
  EXPECT_TRUE(Poll([&] { return !Checked(IDC_CD1_STATUS); }, kTimeout));
  Choose(IDC_LD_PORT, L"COM2", true);
  EXPECT_EQ(MessageText(), L"Line Display: the serial port \"COM2\" (\"Port\") could not be saved.");
  EXPECT_TRUE(Poll([&] { return Selected(IDC_LD_PORT).empty(); }, kTimeout));
  Type(IDC_MSR_CUSTOM, L"Swiper");
  PostClick(IDC_MSR_ADD);
  EXPECT_EQ(MessageText(), L"Mag Stripe Reader: the custom device name \"Swiper\" could not be saved.");
  EXPECT_TRUE(WaitText(IDC_MSR_CUSTOM, L""));
  PostClick(IDC_MSR_LRC);
  EXPECT_EQ(MessageText(), L"Mag Stripe Reader: the Include LRC setting (\"Lrc\") could not be saved.");
  EXPECT_TRUE(Poll([&] { return !Checked(IDC_MSR_LRC); }, kTimeout));
}

TEST_F(KvOposSetupTest, WritesRefusedByTheKeysSecurity) {
  // Keys everyone may read but nobody may write, as for a user without
  // administrator rights: the devices still show as they are registered.
  SetValue(kDisplays, "Pole", "KvDisplay");
  ASSERT_TRUE(SetKeyAccess(kCash1, KEY_READ));
  ASSERT_TRUE(SetKeyAccess(kDisplays, KEY_READ));
  Start();
  EXPECT_EQ(TextOf(IDC_CD1_NAME), L"KvCash1");
  EXPECT_EQ(TextOf(IDC_LD_CUSTOM), L"Pole");
  PostClick(IDC_CD1_STATUS);
  EXPECT_EQ(MessageText(), L"Cash Drawer 1: the status reporting setting (\"CapStatus\") could not be saved.");
  EXPECT_TRUE(Poll([&] { return !Checked(IDC_CD1_STATUS); }, kTimeout));
  EXPECT_FALSE(Value(kCash1, "CapStatus"));
  Type(IDC_LD_CUSTOM, L"Counter");
  PostClick(IDC_LD_ADD);
  EXPECT_EQ(MessageText(), L"Line Display: the custom device name \"Counter\" could not be saved.");
  EXPECT_TRUE(WaitText(IDC_LD_CUSTOM, L"Pole"));
  PostClick(IDC_LD_REMOVE);
  EXPECT_EQ(MessageText(), L"Line Display: the custom device name could not be removed.");
  EXPECT_EQ(Names(kDisplays), std::vector<std::string>{"Pole"});
  // The drawer that may be written still is.
  Click(IDC_CD2_STATUS);
  EXPECT_EQ(Value(kCash2, "CapStatus"), "True");
}

// ---- device tests through the stand-in control objects ----------------------

// Calls an entry point of a COM server beside the test (DllRegisterServer,
// DllUnregisterServer), as regsvr32 does.
void Registration(const wchar_t* dll, const char* entry) {
  HMODULE module = LoadLibraryW((ModuleDir() + L"\\" + dll).c_str());
  ASSERT_NE(module, nullptr) << Narrow(dll);
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto call = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call(), S_OK) << Narrow(dll) << " " << entry;
  FreeLibrary(module);
}

std::string ReadLog(const std::wstring& path) {
  kit::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string data(64 * 1024, '\0');
  DWORD read = 0;
  ::ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
  data.resize(read);
  return data;
}

class DeviceTest : public KvOposSetupTest {
 protected:
  void SetUp() override {
    KvOposSetupTest::SetUp();
    Registration(L"OposControls.dll", "DllRegisterServer");
    Registration(L"KvDisplayStandin.dll", "DllRegisterServer");
    Registration(L"FakeServiceObjects.dll", "DllRegisterServer");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    log_ = std::wstring(temp) + L"kvdisplay-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(log_.c_str());
  }
  void TearDown() override {
    KvOposSetupTest::TearDown();
    DeleteFileW(log_.c_str());
  }

  // Waits for the Description dialog, checks it and presses "Continue".
  void Continue(const std::wstring& test, const std::wstring& description) {
    HWND dialog = WaitForWindow(app_->Pid(), WindowQuery{}.Caption(L"Description").Class(L"#32770"), kTimeout);
    ASSERT_NE(dialog, nullptr) << "no Description dialog";
    EXPECT_EQ(Text(GetDlgItem(dialog, IDC_SELECTED_TEST)), test);
    EXPECT_EQ(Text(GetDlgItem(dialog, IDC_DESCRIPTION)), description);
    EXPECT_NE(FindChild(dialog, WindowQuery{}.Caption(L"Selected Test:")), nullptr);
    EXPECT_NE(FindChild(dialog, WindowQuery{}.Caption(L"Description:")), nullptr);
    ASSERT_TRUE(Press(dialog, L"Continue"));
    ASSERT_TRUE(Poll([&] { return !IsWindow(dialog); }, kTimeout));
  }

  std::wstring log_;
};

constexpr wchar_t kLineDisplayDescription[] =
    L"The first line is displayed after a clear screen.The second line is displayed using cursor control.";

TEST_F(DeviceTest, LineDisplayTestShowsBothLines) {
  Start({{L"KVDISPLAY_LOG", log_}});
  PostClick(IDC_LD_TEST);
  Continue(L"Line Display", kLineDisplayDescription);
  EXPECT_TRUE(WaitText(IDC_LD_RESULT, L"OPOS Success")) << Narrow(TextOf(IDC_LD_RESULT));
  EXPECT_EQ(ReadLog(log_),
            "OpenService LineDisplay KvDisplay\n"
            "Claim 1000\n"
            "DeviceEnabled 1\n"
            "ClearText\n"
            "DisplayText \"Do Zeruruz \" 0\n"
            "DisplayTextAt 1 0 \"OPOS Installation\" 0\n"
            "DeviceEnabled 0\n"
            "Release\n"
            "Close\n");
}

TEST_F(DeviceTest, LineDisplayWhoseCloseFails) {
  Start({{L"KVDISPLAY_LOG", log_}, {L"KVDISPLAY_FAIL_CLOSE", L"1"}});
  PostClick(IDC_LD_TEST);
  Continue(L"Line Display", kLineDisplayDescription);
  EXPECT_TRUE(WaitText(IDC_LD_RESULT, L"OPOS Failure")) << Narrow(TextOf(IDC_LD_RESULT));
  EXPECT_NE(ReadLog(log_).find("DisplayTextAt 1 0 \"OPOS Installation\" 0\n"), std::string::npos);
}

TEST_F(DeviceTest, LineDisplayWithoutItsServiceObject) {
  Registration(L"KvDisplayStandin.dll", "DllUnregisterServer");
  Start();
  Click(IDC_LD_TEST);
  EXPECT_TRUE(WaitText(IDC_LD_RESULT, L"OPOS Failure"));
  EXPECT_EQ(FindTopWindow(app_->Pid(), WindowQuery{}.Caption(L"Description")), nullptr);
}

TEST_F(DeviceTest, MsrThatCannotOpen) {
  // No "Port": the MSR cannot be opened.
  Start();
  PostClick(IDC_MSR_TEST);
  Continue(L"MSR",
           L"Slide a credit card through the MSR. The information contained in the magnetic stripe on the "
           L"credit card should appear. Now \"Close\" this box to activate the test.");
  HWND test = WaitForWindow(app_->Pid(), WindowQuery{}.Caption(L"MSR Test").Class(L"#32770"), kTimeout);
  ASSERT_NE(test, nullptr);
  EXPECT_TRUE(Poll([&] { return Text(GetDlgItem(test, IDC_MSR_MESSAGE)) == L"MSR Open Failed"; }, kTimeout));
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_PROMPT)), L"Swipe Your MSR Test Card");
  for (const wchar_t* label : {L"Dev Name:", L"First Name:", L"Mi:", L"Last Name:", L"Exp. Date:", L"Acct. No.",
                               L"Track1:", L"Track2:", L"Track3:", L"Message:", L"Clear", L"Close"}) {
    EXPECT_NE(FindChild(test, WindowQuery{}.Caption(label)), nullptr) << Narrow(label);
  }
  ASSERT_TRUE(Press(test, L"Clear"));
  EXPECT_TRUE(Poll([&] { return Text(GetDlgItem(test, IDC_MSR_MESSAGE)).empty(); }, kTimeout));
  ASSERT_TRUE(Press(test, L"Close"));
  EXPECT_TRUE(Poll([&] { return !IsWindow(test); }, kTimeout));
  EXPECT_TRUE(WaitText(IDC_MSR_RESULT, L"OPOS Failure"));
}

// ---- the MSR and drawer dialogs against fake service objects ----

constexpr wchar_t kMsrDescription[] =
    L"Slide a credit card through the MSR. The information contained in the magnetic stripe on the "
    L"credit card should appear. Now \"Close\" this box to activate the test.";
constexpr wchar_t kDrawerDescription[] =
    L"Once the Cash Drawer is open you have 10 seconds to close the drawer and complete the test.Now "
    L"\"Close\" this box to activate the test.";

class FakeDeviceTest : public DeviceTest {
 protected:
  // Starts the MSR test against the fake reader and returns its dialog.
  HWND StartMsrTest(const std::wstring& mode, Environment env = {}) {
    env.emplace_back(L"OPOS_STANDIN_MSR_SO", L"KvTest.FakeMsr");
    env.emplace_back(L"FAKEMSR_MODE", mode);
    Start(env);
    PostClick(IDC_MSR_TEST);
    Continue(L"MSR", kMsrDescription);
    HWND test = WaitForWindow(app_->Pid(), WindowQuery{}.Caption(L"MSR Test").Class(L"#32770"), kTimeout);
    EXPECT_NE(test, nullptr);
    return test;
  }
  bool WaitField(HWND dialog, int id, const std::wstring& text) {
    return Poll([&] { return Text(GetDlgItem(dialog, id)) == text; }, kTimeout);
  }
  void CloseMsrTest(HWND test) {
    ASSERT_TRUE(Press(test, L"Close"));
    EXPECT_TRUE(Poll([&] { return !IsWindow(test); }, kTimeout));
  }
};

TEST_F(FakeDeviceTest, MsrSwipeFillsTheFields) {
  HWND test = StartMsrTest(L"card");
  ASSERT_NE(test, nullptr);
  EXPECT_TRUE(WaitField(test, IDC_MSR_MESSAGE, L"Status indicates MSR Idle"))
      << Narrow(Text(GetDlgItem(test, IDC_MSR_MESSAGE)));
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_DEVNAME)), L"KvMsr");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_FIRSTNAME)), L"JOHN");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_MI)), L"Q");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_LASTNAME)), L"PUBLIC");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_EXPDATE)), L"2512");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_ACCOUNT)), L"4111111111111111");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_TRACK1)), L"%B4111111111111111^PUBLIC/JOHN Q^2512101?");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_TRACK2)), L";4111111111111111=2512101?");
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_TRACK3)), L";0123456789?");
  ASSERT_TRUE(Press(test, L"Clear"));
  EXPECT_TRUE(WaitField(test, IDC_MSR_TRACK1, L""));
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_FIRSTNAME)), L"");
  CloseMsrTest(test);
  EXPECT_TRUE(WaitText(IDC_MSR_RESULT, L"OPOS Success"));
}

TEST_F(FakeDeviceTest, EventsComeThroughTheListedConnectionPointToo) {
  // A control object without IProvideClassInfo2.
  HWND test = StartMsrTest(L"card", {{L"OPOS_STANDIN_NO_CLASSINFO", L"1"}});
  ASSERT_NE(test, nullptr);
  EXPECT_TRUE(WaitField(test, IDC_MSR_MESSAGE, L"Status indicates MSR Idle"));
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_FIRSTNAME)), L"JOHN");
  CloseMsrTest(test);
}

TEST_F(FakeDeviceTest, MsrCardReadWhileTheReaderIsInError) {
  HWND test = StartMsrTest(L"state4");
  ASSERT_NE(test, nullptr);
  EXPECT_TRUE(WaitField(test, IDC_MSR_MESSAGE, L"Status indicates MSR Error"));
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_ACCOUNT)), L"4111111111111111");
  CloseMsrTest(test);
  EXPECT_TRUE(WaitText(IDC_MSR_RESULT, L"OPOS Failure"));
}

// The message and the result come from one reading of State, even when
// the reader's State has moved on by the next reading.
TEST_F(FakeDeviceTest, MessageAndResultFromOneReadingOfState) {
  HWND test = StartMsrTest(L"state4once");
  ASSERT_NE(test, nullptr);
  EXPECT_TRUE(WaitField(test, IDC_MSR_MESSAGE, L"Status indicates MSR Error"));
  CloseMsrTest(test);
  EXPECT_TRUE(WaitText(IDC_MSR_RESULT, L"OPOS Failure")) << Narrow(TextOf(IDC_MSR_RESULT));
}

TEST_F(FakeDeviceTest, MsrUnreadableSwipe) {
  HWND test = StartMsrTest(L"error");
  ASSERT_NE(test, nullptr);
  EXPECT_TRUE(WaitField(test, IDC_MSR_MESSAGE, L"An MSR Error Occured - Clean your card"));
  EXPECT_EQ(Text(GetDlgItem(test, IDC_MSR_TRACK1)), L"");
  CloseMsrTest(test);
  EXPECT_TRUE(WaitText(IDC_MSR_RESULT, L"OPOS Success"));
}

TEST_F(FakeDeviceTest, DrawerClosedWithinThePolls) {
  Start({{L"OPOS_STANDIN_CashDrawer_SO", L"KvTest.FakeDrawer"}, {L"FAKEDRAWER_OPEN_READS", L"1"}});
  PostClick(IDC_CD2_TEST);
  Continue(L"Cash Drawer2", kDrawerDescription);
  // One read finds it open, the next one, 2 s later, closed.
  EXPECT_TRUE(Poll([&] { return TextOf(IDC_CD2_RESULT) == L"Drawer Closed"; }, 20000));
}

TEST_F(FakeDeviceTest, DrawerLeftOpen) {
  Start({{L"OPOS_STANDIN_CashDrawer_SO", L"KvTest.FakeDrawer"}, {L"FAKEDRAWER_OPEN_READS", L"99"}});
  PostClick(IDC_CD1_TEST);
  Continue(L"Cash Drawer1", kDrawerDescription);
  // Five reads 2 s apart, all open: about ten seconds.
  EXPECT_TRUE(Poll([&] { return TextOf(IDC_CD1_RESULT) == L"Drawer Open  "; }, 30000))
      << Narrow(TextOf(IDC_CD1_RESULT));
}

TEST_F(DeviceTest, WithoutControlObjects) {
  Registration(L"OposControls.dll", "DllUnregisterServer");
  Start();
  for (int id : {IDC_CD1_TEST, IDC_CD2_TEST, IDC_LD_TEST, IDC_MSR_TEST}) Click(id);
  for (int id : {IDC_CD1_RESULT, IDC_CD2_RESULT, IDC_LD_RESULT, IDC_MSR_RESULT}) {
    EXPECT_TRUE(WaitText(id, L"Control Object Not Installed")) << id;
  }
  EXPECT_EQ(FindTopWindow(app_->Pid(), WindowQuery{}.Caption(L"Description")), nullptr);
  EXPECT_EQ(FindTopWindow(app_->Pid(), WindowQuery{}.Caption(L"MSR Test")), nullptr);
  // The registry part still works.
  Click(IDC_CD1_STATUS);
  EXPECT_EQ(Value(kCash1, "CapStatus"), "True");
}

}  // namespace
