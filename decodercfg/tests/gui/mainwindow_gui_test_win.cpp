// The main window as a user meets it: start-up, the port library, the nine
// child windows and their menu bookkeeping, the toolbar and its device switch.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "q5rsetup_gui_test_win.h"
#include "resource.h"

namespace q5rtest {
namespace {

using namespace guidriver;

const std::wstring kSetup = L"Configuration Setup";
const std::wstring kPortError = L"Keyboard port initialize error, only RS232 port is available!";

TEST_F(Q5RSetupTest, StartsEmptyWithThePortLibraryAndClosesWithoutQuestions) {
  Start();
  EXPECT_EQ(Caption(), L"Q5R Configuration: New File");
  EXPECT_TRUE(NoMessageBox(app_->Pid(), 300));
  EXPECT_EQ(ChildCaption(), L"");
  EXPECT_FALSE(IsChecked(toolbar_, IDT_MAG));
  EXPECT_TRUE(IsEnabled(toolbar_, IDT_BAR));
  EXPECT_FALSE(Greyed({L"&Bar_Decoder", L"&Set All Default"}));
  EXPECT_FALSE(Greyed({L"&Magnic_Reader", L"&Set All Default"}));
  EXPECT_EQ(AdkbLogWhen(Contains("InitializeWinIo")), "InitializeWinIo\r\n");

  // Nothing changed, so closing asks nothing; the library is shut down.
  Close(main_);
  ASSERT_TRUE(WaitExit());
  EXPECT_EQ(AdkbLogWhen(Contains("ShutdownWinIo")), "InitializeWinIo\r\nShutdownWinIo\r\n");
}

TEST_F(Q5RSetupTest, ReportsAFailingPortLibraryAndRunsOn) {
  Start({{L"ADKB_STANDIN_INIT", L"fail"}});
  Answer(kSetup, kPortError, L"OK");
  EXPECT_EQ(Caption(), L"Q5R Configuration: New File");
  Choose({L"&Bar_Decoder", L"&Interface"});
  EXPECT_TRUE(WaitChild(L"Interface"));
}

TEST_F(Q5RSetupTest, ReportsAMissingPortLibrary) {
  const std::wstring lonely = Temp(L"Q5RSetup.exe");
  ASSERT_TRUE(CopyFileW(exe_.c_str(), lonely.c_str(), FALSE));
  Start({}, lonely);
  Answer(kSetup, kPortError, L"OK");
  EXPECT_EQ(Caption(), L"Q5R Configuration: New File");
}

enum class Defaults { kBar, kMag, kNone };
enum class Mode { kBar, kMag, kUnchanged };

struct PageCase {
  std::vector<std::wstring_view> menu;
  std::wstring caption;
  bool checksItsEntry;
  Defaults disables;
  Mode mode;
};

// In an order that shows windows 5 and 9 keeping either device mode.
const std::vector<PageCase> kPages = {
    {{L"&Bar_Decoder", L"&Interface"}, L"Interface", true, Defaults::kBar, Mode::kBar},
    {{L"&Bar_Decoder", L"&Communication"}, L"Communication Parameters", true, Defaults::kBar, Mode::kBar},
    {{L"&Bar_Decoder", L"&Bar Codes and Others"}, L"Bar Codes and Others", true, Defaults::kBar, Mode::kBar},
    {{L"&Bar_Decoder", L"&Miscellaneous"}, L"Miscellaneous Parameters", true, Defaults::kBar, Mode::kBar},
    {{L"&Bar_Decoder", L"Transmit"}, L"Transmit", false, Defaults::kBar, Mode::kUnchanged},
    {{L"&Tools", L"&Read Decoder Memory"}, L"Read Decoder Memory", false, Defaults::kNone, Mode::kUnchanged},
    {{L"&Magnic_Reader", L"&Interface"}, L"Interface", true, Defaults::kMag, Mode::kMag},
    {{L"&Magnic_Reader", L"&Communication"}, L"Communication Parameters", true, Defaults::kMag, Mode::kMag},
    {{L"&Magnic_Reader", L"&Miscellaneous"}, L"Miscellaneous Parameters", true, Defaults::kMag, Mode::kMag},
    {{L"&Magnic_Reader", L"Transmit"}, L"Transmit", false, Defaults::kBar, Mode::kUnchanged},
    {{L"&Tools", L"&Read Decoder Memory"}, L"Read Decoder Memory", false, Defaults::kNone, Mode::kUnchanged},
};

UINT MenuId(const MenuMap& menu, const std::vector<std::wstring_view>& path) {
  return path.size() == 2 ? menu.Id({path[0], path[1]}) : 0;
}

TEST_F(Q5RSetupTest, EachChildWindowKeepsTheMenusInStepAndClosesOnItsSecondChoice) {
  Start();
  const std::vector<std::vector<std::wstring_view>> pageEntries = {
      {L"&Bar_Decoder", L"&Interface"}, {L"&Bar_Decoder", L"&Communication"},
      {L"&Bar_Decoder", L"&Bar Codes and Others"}, {L"&Bar_Decoder", L"&Miscellaneous"},
      {L"&Magnic_Reader", L"&Interface"}, {L"&Magnic_Reader", L"&Communication"},
      {L"&Magnic_Reader", L"&Miscellaneous"}};
  bool magnetic = false;
  for (const PageCase& page : kPages) {
    SCOPED_TRACE(Narrow(page.caption) + " from " + Narrow(page.menu[0]));
    InvokeCommand(main_, MenuId(*menu_, page.menu));
    ASSERT_TRUE(WaitChild(page.caption));

    for (const auto& entry : pageEntries) {
      const bool isThis = page.checksItsEntry && entry == page.menu;
      EXPECT_EQ((StateOf(MenuId(*menu_, entry)) &
                 MF_CHECKED) != 0,
                isThis)
          << Narrow(entry[0]) << " " << Narrow(entry[1]);
    }
    EXPECT_EQ(Greyed({L"&Bar_Decoder", L"&Set All Default"}), page.disables == Defaults::kBar);
    EXPECT_EQ(Greyed({L"&Magnic_Reader", L"&Set All Default"}), page.disables == Defaults::kMag);
    if (page.mode != Mode::kUnchanged) magnetic = page.mode == Mode::kMag;
    EXPECT_EQ(IsChecked(toolbar_, IDT_MAG), magnetic);
    EXPECT_EQ(IsEnabled(toolbar_, IDT_BAR), !magnetic);

    // Choosing the open window's entry again closes it and undoes the marks.
    InvokeCommand(main_, MenuId(*menu_, page.menu));
    ASSERT_TRUE(WaitChild(L""));
    if (page.checksItsEntry) {
      EXPECT_FALSE((StateOf(MenuId(*menu_, page.menu)) &
                    MF_CHECKED));
    }
    EXPECT_FALSE(Greyed({L"&Bar_Decoder", L"&Set All Default"}));
    EXPECT_FALSE(Greyed({L"&Magnic_Reader", L"&Set All Default"}));
  }
}

TEST_F(Q5RSetupTest, ClosingAChildByItsCloseBoxUndoesTheMenuMarks) {
  Start();
  Choose({L"&Magnic_Reader", L"&Miscellaneous"});
  ASSERT_TRUE(WaitChild(L"Miscellaneous Parameters"));
  HWND client = FindChild(main_, {.className = L"MDIClient"});
  HWND child = FindChild(client, {.className = L"Q5RSetupChild"});
  PostMessageW(child, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(WaitChild(L""));
  EXPECT_FALSE(Checked({L"&Magnic_Reader", L"&Miscellaneous"}));
  EXPECT_FALSE(Greyed({L"&Magnic_Reader", L"&Set All Default"}));
  // The page opens again with one choice, as nothing is open any more.
  Choose({L"&Magnic_Reader", L"&Miscellaneous"});
  EXPECT_TRUE(WaitChild(L"Miscellaneous Parameters"));
}

TEST_F(Q5RSetupTest, ToolbarButtonsOpenTheWindowOfTheCurrentDevice) {
  Start();
  struct Click {
    UINT button;
    std::wstring caption;
    std::vector<std::wstring_view> checked;
  };
  const std::vector<Click> bar = {
      {IDT_IRM, L"Interface", {L"&Bar_Decoder", L"&Interface"}},
      {IDT_COM, L"Communication Parameters", {L"&Bar_Decoder", L"&Communication"}},
      {IDT_BAR, L"Bar Codes and Others", {L"&Bar_Decoder", L"&Bar Codes and Others"}},
      {IDT_MIS, L"Miscellaneous Parameters", {L"&Bar_Decoder", L"&Miscellaneous"}},
      {IDT_TRANSMIT, L"Transmit", {}},
  };
  const std::vector<Click> mag = {
      {IDT_IRM, L"Interface", {L"&Magnic_Reader", L"&Interface"}},
      {IDT_COM, L"Communication Parameters", {L"&Magnic_Reader", L"&Communication"}},
      {IDT_MIS, L"Miscellaneous Parameters", {L"&Magnic_Reader", L"&Miscellaneous"}},
      {IDT_TRANSMIT, L"Transmit", {}},
  };
  for (bool magnetic : {false, true}) {
    if (magnetic) {
      ASSERT_TRUE(ClickToolbarButton(toolbar_, IDT_MAG));
      ASSERT_TRUE(Poll([&] { return IsChecked(toolbar_, IDT_MAG); }, kTimeout));
      EXPECT_FALSE(IsEnabled(toolbar_, IDT_BAR));
    }
    for (const Click& click : magnetic ? mag : bar) {
      SCOPED_TRACE(Narrow(click.caption));
      ASSERT_TRUE(ClickToolbarButton(toolbar_, click.button));
      ASSERT_TRUE(WaitChild(click.caption));
      if (!click.checked.empty()) {
        EXPECT_TRUE(StateOf(MenuId(*menu_, click.checked)) &
                    MF_CHECKED);
      }
      EXPECT_EQ(IsChecked(toolbar_, IDT_MAG), magnetic);
    }
    ASSERT_TRUE(ClickToolbarButton(toolbar_, IDT_TRANSMIT));  // closes Transmit again
    ASSERT_TRUE(WaitChild(L""));
  }
}

TEST_F(Q5RSetupTest, MagnetButtonSwapsEachPageForItsCounterpart) {
  Start();
  struct Swap {
    std::vector<std::wstring_view> open;
    std::wstring before, after;  // "" = no window afterwards
    std::vector<std::wstring_view> afterEntry;
  };
  const std::vector<Swap> swaps = {
      {{L"&Bar_Decoder", L"&Interface"}, L"Interface", L"Interface", {L"&Magnic_Reader", L"&Interface"}},
      {{L"&Bar_Decoder", L"&Communication"}, L"Communication Parameters", L"Communication Parameters",
       {L"&Magnic_Reader", L"&Communication"}},
      {{L"&Bar_Decoder", L"&Miscellaneous"}, L"Miscellaneous Parameters", L"Miscellaneous Parameters",
       {L"&Magnic_Reader", L"&Miscellaneous"}},
      {{L"&Magnic_Reader", L"&Interface"}, L"Interface", L"Interface", {L"&Bar_Decoder", L"&Interface"}},
      {{L"&Magnic_Reader", L"&Communication"}, L"Communication Parameters", L"Communication Parameters",
       {L"&Bar_Decoder", L"&Communication"}},
      {{L"&Magnic_Reader", L"&Miscellaneous"}, L"Miscellaneous Parameters", L"Miscellaneous Parameters",
       {L"&Bar_Decoder", L"&Miscellaneous"}},
      {{L"&Bar_Decoder", L"&Bar Codes and Others"}, L"Bar Codes and Others", L"", {}},
      {{L"&Bar_Decoder", L"Transmit"}, L"Transmit", L"Transmit", {}},
      {{L"&Tools", L"&Read Decoder Memory"}, L"Read Decoder Memory", L"", {}},
  };
  for (const Swap& swap : swaps) {
    SCOPED_TRACE(Narrow(swap.open[0]) + " " + Narrow(swap.open[1]));
    InvokeCommand(main_, MenuId(*menu_, swap.open));
    ASSERT_TRUE(WaitChild(swap.before));
    const bool wasMagnetic = IsChecked(toolbar_, IDT_MAG);
    ASSERT_TRUE(ClickToolbarButton(toolbar_, IDT_MAG));
    ASSERT_TRUE(Poll([&] { return IsChecked(toolbar_, IDT_MAG) != wasMagnetic; }, kTimeout));
    ASSERT_TRUE(WaitChild(swap.after));
    EXPECT_EQ(IsEnabled(toolbar_, IDT_BAR), wasMagnetic);
    if (!swap.afterEntry.empty()) {
      EXPECT_TRUE(StateOf(MenuId(*menu_, swap.afterEntry)) &
                  MF_CHECKED);
    }
    if (!swap.after.empty()) {  // close it for the next case
      InvokeCommand(main_, MenuId(*menu_, swap.afterEntry.empty() ? swap.open : swap.afterEntry));
      ASSERT_TRUE(WaitChild(L""));
    }
  }
  // Switching devices never touches the image: closing asks nothing.
  Close(main_);
  EXPECT_TRUE(WaitExit());
}

TEST_F(Q5RSetupTest, ToolTipsAndTheMainWindowNeverMaximises) {
  Start();
  const std::vector<std::pair<UINT, std::wstring>> tips = {
      {IDM_FILE_NEW, L"New File"}, {IDM_FILE_OPEN, L"Open File"}, {IDM_FILE_SAVE, L"Save File"},
      {IDT_IRM, L"Interface and Reading Mode"}, {IDT_COM, L"Communication Parameters"},
      {IDT_BAR, L"Bar Codes and Others"}, {IDT_MIS, L"Miscellaneous Parameters"},
      {IDT_TRANSMIT, L"Transmit"}, {IDT_MAG, L"Magnet Reader"}};
  HMODULE exe = LoadLibraryExW(exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  for (const auto& [id, tip] : tips) {
    wchar_t text[128] = {};
    LoadStringW(exe, id, text, 128);
    EXPECT_EQ(text, tip);
    EXPECT_NE(SendMessageW(toolbar_, TB_COMMANDTOINDEX, id, 0), -1) << tip.c_str();
  }
  FreeLibrary(exe);
  EXPECT_EQ(SendMessageW(toolbar_, TB_BUTTONCOUNT, 0, 0), 11);

  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(main_, WM_SYSCOMMAND, SC_MAXIMIZE, 0, SMTO_ABORTIFHUNG, kTimeout, &ignored);
  EXPECT_TRUE(Poll([&] { return !IsZoomed(main_); }, kTimeout));
}

}  // namespace
}  // namespace q5rtest

namespace q5rtest {
namespace {

TEST_F(Q5RSetupTest, AboutNamesTheProgramAndSaysWhenSystemInformationIsMissing) {
  Start();
  Choose({L"&Help", L"&About"});
  HWND about = WaitForWindow(app_->Pid(), WindowQuery{}.Caption(L"About This Software"), kTimeout);
  ASSERT_NE(about, nullptr);
  EXPECT_NE(FindChild(about, WindowQuery{}.Caption(L"Q5R Configuration Setup V3.44")), nullptr);
  EXPECT_NE(FindChild(about, WindowQuery{}.Caption(L"For Bar Code and Magnetic Card Decoder")), nullptr);
  // This prefix has no system information program registered.
  ASSERT_TRUE(Press(about, L"System Info..."));
  HWND box = WaitForWindow(app_->Pid(), WindowQuery{}.Caption(L"Q5RSetup").Class(L"#32770"), kTimeout);
  ASSERT_NE(box, nullptr);
  EXPECT_NE(FindChild(box, WindowQuery{}.Caption(L"System Information Is Unavailable At This Time")), nullptr);
  ASSERT_TRUE(Press(box, L"OK"));
  ASSERT_TRUE(Poll([&] { return !IsWindow(box); }, kTimeout));
  ASSERT_TRUE(Press(about, L"OK"));
  EXPECT_TRUE(Poll([&] { return !IsWindow(about); }, kTimeout));
}

}  // namespace
}  // namespace q5rtest
