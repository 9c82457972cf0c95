// The option pages as a user meets them: each page opens a crafted file,
// shows what its bytes mean (also bytes that no option stands for), takes
// clicks and typing, and the saved file holds exactly the bytes expected.
#include <windows.h>

#include <map>

#include "cfgfile.h"
#include "pages/pagetables.h"
#include "q5rsetup_gui_test_win.h"
#include "resource.h"

namespace q5rtest {
namespace {

using namespace guidriver;
using q5r::ImageBytes;

struct Saved {
  q5r::FileInfo info;
  ImageBytes image{};
};

Saved Parse(const std::string& file) {
  Saved saved;
  q5r::ConfigImage image;
  EXPECT_EQ(q5r::ParseConfigFile(file, saved.info, image), q5r::ParseResult::kOk);
  saved.image = image.Bytes();
  return saved;
}

class PageTest : public Q5RSetupTest {
 protected:
  // Starts the program on a file that holds `image` and opens a page.
  void StartWith(const ImageBytes& image, const std::vector<std::wstring_view>& menu, const std::wstring& caption,
                 q5r::FileInfo info = {}) {
    image_ = image;
    info_ = info;
    Start();
    file_ = Temp(L"crafted.cfg");
    WriteBytes(file_, q5r::FormatConfigFile(info, image));
    OpenFile(file_);
    menuPath_ = menu;
    caption_ = caption;
    OpenPage();
  }
  void OpenPage() {
    InvokeCommand(main_, menu_->Id({menuPath_[0], menuPath_[1]}));
    ASSERT_TRUE(WaitChild(caption_));
  }
  void ReopenPage() {
    InvokeCommand(main_, menu_->Id({menuPath_[0], menuPath_[1]}));
    ASSERT_TRUE(WaitChild(L""));
    OpenPage();
  }
  // File > Save into the file in use, which asks nothing: sent, so the file
  // is written when this returns. The saved image and texts.
  Saved Save() {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(main_, WM_COMMAND, menu_->Id({L"&File", L"&Save"}), 0, SMTO_ABORTIFHUNG, kTimeout, &ignored);
    return Parse(ReadBytes(file_).value_or(""));
  }
  // The crafted image with some bytes changed.
  ImageBytes Expect(std::initializer_list<std::pair<int, int>> bytes) const {
    ImageBytes expected = image_;
    for (auto [i, v] : bytes) expected[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    return expected;
  }
  // Which option of a group is checked, -1 for none.
  int Checked(const q5r::Field& f) {
    int found = -1;
    for (int i = 0; i < q5r::ControlCount(f); ++i) {
      if (IsOn(f.id + i)) {
        EXPECT_EQ(found, -1) << "two options checked in group " << f.id;
        found = i;
      }
    }
    return found;
  }
  int Checked(const q5r::PageTable& page, int id) { return Checked(*q5r::FieldOfControl(page, id)); }

  // Every tab, option, check box and "Set Default" button bears the caption
  // of the page's table.
  void ExpectCaptions(const q5r::PageTable& page) {
    std::vector<std::wstring> captions, tips;
    for (const q5r::Tab& tab : page.tabs) {
      captions.emplace_back(tab.caption);
      tips.emplace_back(tab.tip);
    }
    EXPECT_EQ(TabCaptions(), captions);
    EXPECT_EQ(TabTips(), tips);
    for (const q5r::Field& f : page.fields) {
      if (q5r::IsCheckBox(f)) {
        EXPECT_EQ(TextOf(f.id), f.caption) << f.id;
      }
      for (std::size_t i = 0; i < f.choices.size(); ++i) {
        EXPECT_EQ(TextOf(f.id + static_cast<int>(i)), f.choices[i].caption) << f.id << " option " << i;
      }
    }
    for (const q5r::DefaultButton& b : page.defaults) EXPECT_EQ(TextOf(b.id), b.caption) << b.id;
    // Only the first tab's frame is on show.
    for (const q5r::Field& f : page.fields) EXPECT_EQ(IsShown(f.id), f.frame == 0) << f.id;
  }

  ImageBytes image_{};
  q5r::FileInfo info_;
  std::vector<std::wstring_view> menuPath_;
  std::wstring caption_;
  std::wstring file_;
};

constexpr std::wstring_view kBar = L"&Bar_Decoder", kMag = L"&Magnic_Reader";

TEST_F(PageTest, BarInterfaceEditsInterfaceMemoryAndTheFileTexts) {
  q5r::FileInfo info;
  info.deviceName = "Till 3";
  info.userName = "Ann";
  info.buildingDate = "2026-12-08";
  info.description = "front desk";
  ImageBytes image = q5r::kDefaultImage;
  image[22] = 0x23;  // interface 3: no option stands for it
  image[24] = 0xFF;
  StartWith(image, {kBar, L"&Interface"}, L"Interface", info);
  ExpectCaptions(q5r::kBarInterfacePage);
  EXPECT_EQ(TextOf(IDC_TXT_DEVICENAME), L"Till 3");
  EXPECT_EQ(TextOf(IDC_TXT_USERNAME), L"Ann");
  EXPECT_EQ(TextOf(IDC_TXT_DATE), L"2026-12-08");
  EXPECT_EQ(TextOf(IDC_TXT_DESCRIPTION), L"front desk");
  ClickTab(1);
  EXPECT_TRUE(IsShown(IDC_CFG3_IFACE));
  EXPECT_FALSE(IsShown(IDC_TXT_DEVICENAME));
  EXPECT_EQ(Checked(q5r::kBarInterfacePage, IDC_CFG3_IFACE), -1);
  EXPECT_TRUE(IsOn(IDC_CFG3_READMEM));
  // Opening wrote nothing, the odd interface value included.
  EXPECT_EQ(Save().image, image_);

  Click(IDC_CFG3_IFACE + 1);  // "USB Mode"
  Click(IDC_CFG3_READMEM);
  ClickTab(0);
  Type(IDC_TXT_DEVICENAME, L"Till 7");
  Type(IDC_TXT_DESCRIPTION, L"");
  ReopenPage();
  EXPECT_EQ(TextOf(IDC_TXT_DEVICENAME), L"Till 7");
  EXPECT_EQ(Checked(q5r::kBarInterfacePage, IDC_CFG3_IFACE), 1);
  EXPECT_FALSE(IsOn(IDC_CFG3_READMEM));
  Saved saved = Save();
  EXPECT_EQ(saved.image, Expect({{22, 0x21}, {24, 0xFE}}));
  EXPECT_EQ(saved.info.deviceName, "Till 7");
  EXPECT_EQ(saved.info.description, "");
  EXPECT_EQ(saved.info.userName, "Ann");

  ClickTab(1);
  Click(IDC_CFG3_READMEM);
  Click(IDC_CFG3_DEFAULT);
  EXPECT_EQ(Checked(q5r::kBarInterfacePage, IDC_CFG3_IFACE), 2);
  EXPECT_FALSE(IsOn(IDC_CFG3_READMEM));
  EXPECT_EQ(Save().image, Expect({{22, 0x22}, {24, 0xFE}}));
  // Editing a text after the save is no change of the configuration.
  ClickTab(0);
  Type(IDC_TXT_USERNAME, L"Bob");
  Close(main_);
  EXPECT_TRUE(WaitExit());
}

TEST_F(PageTest, MagInterfaceShowsInterfaceThreeAsUsbAndSetDefaultClearsItsBitsOnly) {
  ImageBytes image = q5r::kDefaultImage;
  image[25] = 0xFF;
  image[26] = 0xF0;  // interface 3, 8 data bits, 1 stop bit
  StartWith(image, {kMag, L"&Interface"}, L"Interface");
  ExpectCaptions(q5r::kMagInterfacePage);
  EXPECT_EQ(TextOf(IDC_TXT_DEVICENAME), L"Device Name");
  ClickTab(1);
  EXPECT_EQ(Checked(q5r::kMagInterfacePage, IDC_MAG3_IFACE), 1);
  EXPECT_TRUE(IsOn(IDC_MAG3_NOTEBOOK));
  EXPECT_TRUE(IsOn(IDC_MAG3_MSRMEM));
  EXPECT_EQ(Save().image, image_) << "shown as USB, stored 3 kept until the user picks";

  Click(IDC_MAG3_DEFAULT);
  EXPECT_EQ(Checked(q5r::kMagInterfacePage, IDC_MAG3_IFACE), 0);
  Click(IDC_MAG3_IFACE + 2);  // "RS232 Mode"
  Click(IDC_MAG3_NOTEBOOK);
  ReopenPage();
  ClickTab(1);
  EXPECT_EQ(Checked(q5r::kMagInterfacePage, IDC_MAG3_IFACE), 2);
  EXPECT_TRUE(IsOn(IDC_MAG3_NOTEBOOK));
  EXPECT_FALSE(IsOn(IDC_MAG3_MSRMEM));
  EXPECT_EQ(Save().image, Expect({{25, 0xFD}, {26, 0xB0}}));
}

TEST_F(PageTest, BarCommunicationShowsOddValuesAndEachSetDefaultKeepsTheOtherTabs) {
  ImageBytes image = q5r::kDefaultImage;
  image[16] = 0x5D;  // language 5, 19200 baud, IBM PC/XT
  image[19] = 0x5B;  // parity 5, 8 data bits, 2 stop bits, lower case, 15 ms, Brazil 25
  image[20] = 0xAF;  // terminator 7, RTS/CTS, XON/XOFF, numerical pad on
  StartWith(image, {kBar, L"&Communication"}, L"Communication Parameters");
  ExpectCaptions(q5r::kBarCommPage);
  const auto& page = q5r::kBarCommPage;
  EXPECT_EQ(Checked(page, IDC_CFG4_BAUD), 3);
  EXPECT_EQ(Checked(page, IDC_CFG4_DATABITS), 1);
  EXPECT_EQ(Checked(page, IDC_CFG4_STOPBITS), 0);
  EXPECT_EQ(Checked(page, IDC_CFG4_PARITY), -1);
  EXPECT_EQ(Checked(page, IDC_CFG4_RTSCTS), 1);
  EXPECT_EQ(Checked(page, IDC_CFG4_ACKNAK), 0);
  EXPECT_EQ(Checked(page, IDC_CFG4_XONXOFF), 1);
  EXPECT_EQ(Checked(page, IDC_CFG4_TERMINAL), 1);
  EXPECT_EQ(Checked(page, IDC_CFG4_CASE), 0);
  EXPECT_EQ(Checked(page, IDC_CFG4_NUMPAD), 1);
  EXPECT_EQ(Checked(page, IDC_CFG4_TERMINATOR), -1);
  EXPECT_EQ(Checked(page, IDC_CFG4_TIMEOUT), 1);
  EXPECT_EQ(Save().image, image_);

  Click(IDC_CFG4_PARITY + 2);  // "Even"
  // The tab's accelerator from the keyboard: Alt+O shows "&Output Character".
  PostMessageW(Control(IDC_PAGE_TABS), WM_SYSCHAR, L'o', 1 << 29);
  ASSERT_TRUE(Poll([&] { return IsShown(IDC_CFG4_TERMINATOR); }, kTimeout));
  EXPECT_FALSE(IsShown(IDC_CFG4_PARITY));
  Click(IDC_CFG4_TERMINATOR + 3);  // "HT(TAB)"
  ClickTab(1);
  Click(IDC_CFG4_DEFAULT2);
  EXPECT_EQ(Checked(page, IDC_CFG4_CASE), 1);
  EXPECT_EQ(Save().image, Expect({{16, 0x5C}, {19, 0x2F}, {20, 0x2B}}));

  ClickTab(0);
  Click(IDC_CFG4_DEFAULT1);
  ClickTab(2);
  Click(IDC_CFG4_DEFAULT3);
  ReopenPage();
  EXPECT_EQ(Checked(page, IDC_CFG4_PARITY), 4);
  EXPECT_EQ(Checked(page, IDC_CFG4_TERMINATOR), 2);
  // The three buttons together give back the factory bits of bytes 16, 19, 20,
  // except the language and Brazil 25, which live on other pages.
  EXPECT_EQ(Save().image, Expect({{16, 0x58}, {19, 0xFD}, {20, 0x02}}));
}

TEST_F(PageTest, BarCodesShowsCodeZeroAsDoNotCalculateAndButtonsWriteTheirFields) {
  ImageBytes image = q5r::kDefaultImage;
  image[18] = 0x5A;
  image[21] = 0x0F;
  image[22] = 0xDC;  // UPC-A=EAN-13, supplemental, ISBN, Codabar set-up, code ID; keyboard
  image[23] = 0x00;  // all check-digit codes 0, Full ASCII, start/stop not output
  StartWith(image, {kBar, L"&Bar Codes and Others"}, L"Bar Codes and Others");
  ExpectCaptions(q5r::kBarCodesPage);
  const auto& page = q5r::kBarCodesPage;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(IsOn(IDC_CFG5_SYMBOLOGY + i), i < 4) << i;
  ClickTab(1);
  EXPECT_TRUE(IsOn(IDC_CFG5_UPCAEAN13));
  EXPECT_TRUE(IsOn(IDC_CFG5_ISBN));
  EXPECT_EQ(Checked(page, IDC_CFG5_SUPPLEMENT), 1);
  EXPECT_EQ(Checked(page, IDC_CFG5_UPCCHECK), 0);
  EXPECT_EQ(Checked(page, IDC_CFG5_C39OUTPUT), 0);
  EXPECT_EQ(Checked(page, IDC_CFG5_C39STARTSTOP), 0);
  for (int id : {IDC_CFG5_C39CHECK, IDC_CFG5_C128CHECK, IDC_CFG5_I25CHECK}) EXPECT_EQ(Checked(page, id), 0) << id;
  EXPECT_TRUE(IsOn(IDC_CFG5_CODABARSETUP));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(IsOn(IDC_CFG5_CODABARCHARS + i), ((0x5A >> i) & 1) != 0) << i;
  EXPECT_EQ(Save().image, image_) << "opening does not rewrite check-digit code 0";

  ClickTab(0);
  Click(IDC_CFG5_CLEARALL);
  Click(IDC_CFG5_SYMBOLOGY + 7);  // UPC-A
  ClickTab(2);
  Click(IDC_CFG5_C39CHECK + 2);  // "Calculate Check Digit and Transmit"
  ClickTab(3);
  Click(IDC_CFG5_DEFAULT_C128);
  ClickTab(4);
  Click(IDC_CFG5_BRAZIL);
  Click(IDC_CFG5_DEFAULT_I25);
  ClickTab(5);
  Click(IDC_CFG5_CODABARCHARS + 6);  // start "C"
  ReopenPage();
  EXPECT_TRUE(IsOn(IDC_CFG5_SYMBOLOGY + 7));
  EXPECT_FALSE(IsOn(IDC_CFG5_SYMBOLOGY + 0));
  EXPECT_EQ(Checked(page, IDC_CFG5_C39CHECK), 2);
  EXPECT_FALSE(IsOn(IDC_CFG5_CODABARCHARS + 6));
  EXPECT_EQ(Save().image, Expect({{18, 0x1A}, {21, 0x80}, {23, 0xE4}}));
}

TEST_F(PageTest, BarMiscellaneousEditsCodeIdsInsertionTextsAndTruncation) {
  ImageBytes image = q5r::kDefaultImage;
  image[0] = 'Z';
  image[1] = 13;  // a control character: shown raw, stored as 0 at once
  image[2] = 0;
  const int brace[] = {'{', 'C', 'R', '}'};
  for (int i = 0; i < 4; ++i) image[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(brace[i]);
  image[12] = 'A';
  image[13] = 'B';
  image[14] = 255;
  image[15] = 'Q';  // after the run's end: emptied when shown
  image[16] = 0xD8;  // Netherlands
  image[17] = 0xC3;  // 12 cut at the front (typed, not in the list), 3 at the end
  image[22] = 0x26;
  StartWith(image, {kBar, L"&Miscellaneous"}, L"Miscellaneous Parameters");
  ExpectCaptions(q5r::kBarMiscPage);
  EXPECT_EQ(Checked(q5r::kBarMiscPage, IDC_LANGUAGE), 13);
  ClickTab(1);
  EXPECT_TRUE(IsOn(IDC_CFG6_CODEID_ENABLE));
  EXPECT_EQ(TextOf(IDC_CFG6_CODEID + 0), L"Z");
  EXPECT_EQ(TextOf(IDC_CFG6_CODEID + 2), L"");
  ClickTab(2);
  EXPECT_EQ(TextOf(IDC_CFG6_PREFIX), L"{CR}");
  EXPECT_EQ(TextOf(IDC_CFG6_SUFFIX), L"AB");
  EXPECT_EQ(TextOf(IDC_CFG6_TRUNC_FRONT), L"12");
  EXPECT_EQ(TextOf(IDC_CFG6_TRUNC_END), L"3");
  EXPECT_EQ(Save().image, Expect({{1, 0}, {8, 13}, {9, 255}, {10, 255}, {11, 255}, {15, 255}}));

  Type(IDC_CFG6_SUFFIX, L"{cr}AB");
  Type(IDC_CFG6_PREFIX, L"ABCDEF");
  EXPECT_EQ(TextOf(IDC_CFG6_PREFIX), L"ABCDEF") << "the extra characters stay visible";
  ChooseItem(IDC_CFG6_TRUNC_FRONT, 5);
  Type(IDC_CFG6_TRUNC_END, L"abc");  // no number: the field keeps 3
  Type(IDC_CFG6_TRUNC_END, L"16");   // too big for four bits: keeps 3
  ClickTab(0);
  Click(IDC_LANGUAGE + 9);  // "Japanese"
  ClickTab(1);
  Click(IDC_CFG6_CODEID_DEFAULT);
  EXPECT_EQ(TextOf(IDC_CFG6_CODEID + 0), L"A");
  EXPECT_FALSE(IsOn(IDC_CFG6_CODEID_ENABLE));
  Type(IDC_CFG6_CODEID + 5, L"x");
  Type(IDC_CFG6_CODEID + 3, L"XY", false);
  Answer(L"Decoder Configuration Setup", L"Allow only one character.", L"OK");
  EXPECT_TRUE(Poll([&] { return TextOf(IDC_CFG6_CODEID + 3).empty(); }, kTimeout));
  ReopenPage();
  ClickTab(2);
  EXPECT_EQ(TextOf(IDC_CFG6_SUFFIX), L"{CR}AB");
  EXPECT_EQ(TextOf(IDC_CFG6_PREFIX), L"ABCD");
  EXPECT_EQ(TextOf(IDC_CFG6_TRUNC_FRONT), L"5");
  EXPECT_EQ(TextOf(IDC_CFG6_TRUNC_END), L"3");
  EXPECT_EQ(Save().image, Expect({{0, 'A'}, {1, 'B'}, {2, 'C'}, {3, 0}, {4, 'E'}, {5, 'x'}, {6, 'G'}, {7, 'H'},
                                  {8, 'A'}, {9, 'B'}, {10, 'C'}, {11, 'D'},
                                  {12, 13}, {13, 'A'}, {14, 'B'}, {15, 255},
                                  {16, 0x98}, {17, 0x53}, {22, 0x22}}));

  Type(IDC_CFG6_TRUNC_END, L"12");
  Click(IDC_CFG6_PREFIX_CLEAR);
  EXPECT_EQ(TextOf(IDC_CFG6_PREFIX), L"");
  Saved saved = Save();
  EXPECT_EQ(saved.image[17], 0x5C);
  for (int i = 8; i <= 11; ++i) EXPECT_EQ(saved.image[static_cast<std::size_t>(i)], 255);
  Click(IDC_CFG6_TRUNC_CLEAR);
  Click(IDC_CFG6_SUFFIX_CLEAR);
  saved = Save();
  EXPECT_EQ(saved.image[17], 0);
  for (int i = 12; i <= 15; ++i) EXPECT_EQ(saved.image[static_cast<std::size_t>(i)], 255);
}

TEST_F(PageTest, MagCommunicationKeepsOddCodesRewritesTerminatorSevenAndGreysForJis2) {
  ImageBytes image = q5r::kDefaultImage;
  image[25] = 0x01;  // JIS2
  image[26] = 0x1E;  // Apple, 15 ms, XON/XOFF, 1 stop bit, 7 data bits
  image[27] = 0xAF;  // parity 5, ACK/NAK, terminator 7
  image[28] = 0xAD;  // lower case, ALT method, account number only, baud 5
  image[83] = 0x0D;  // track selection 13
  image[84] = ';';
  StartWith(image, {kMag, L"&Communication"}, L"Communication Parameters");
  ExpectCaptions(q5r::kMagCommPage);
  const auto& page = q5r::kMagCommPage;
  EXPECT_EQ(Checked(page, IDC_MAG4_BAUD), 5);
  EXPECT_EQ(Checked(page, IDC_MAG4_DATABITS), 0);
  EXPECT_EQ(Checked(page, IDC_MAG4_STOPBITS), 1);
  EXPECT_EQ(Checked(page, IDC_MAG4_PARITY), -1);
  EXPECT_EQ(Checked(page, IDC_MAG4_ACKNAK), 1);
  EXPECT_EQ(Checked(page, IDC_MAG4_XONXOFF), 1);
  EXPECT_EQ(Checked(page, IDC_MAG4_TERMINAL), 2);
  EXPECT_EQ(Checked(page, IDC_MAG4_CASE), 1);
  EXPECT_EQ(Checked(page, IDC_MAG4_ALT), 1);
  EXPECT_EQ(Checked(page, IDC_MAG4_TERMINATOR), 6);
  EXPECT_EQ(Checked(page, IDC_MAG4_TIMEOUT), 1);
  ClickTab(3);
  EXPECT_EQ(Checked(page, IDC_MAG4_STANDARD), 1);
  EXPECT_EQ(Checked(page, IDC_MAG4_TRACKS), -1);
  EXPECT_FALSE(IsOn(IDC_MAG4_STARTSTOP));
  EXPECT_TRUE(IsOn(IDC_MAG4_ACCOUNT));
  EXPECT_EQ(TextOf(IDC_MAG4_SEPARATOR), L";");
  for (int id : {IDC_MAG4_TRACKS_FRAME, IDC_MAG4_TRACKS, IDC_MAG4_TRACKS + 13, IDC_MAG4_ACCOUNT,
                 IDC_MAG4_ACCOUNT_FRAME, IDC_MAG4_SEPARATOR, IDC_MAG4_SEPARATOR_LABEL}) {
    EXPECT_FALSE(IsEnabledControl(id)) << id;
  }
  EXPECT_TRUE(IsEnabledControl(IDC_MAG4_STARTSTOP));
  EXPECT_EQ(Save().image, Expect({{27, 0xAE}})) << "only the terminator 7 is stored back, as 6";

  Click(IDC_MAG4_STANDARD + 0);  // "ISO"
  for (int id : {IDC_MAG4_TRACKS, IDC_MAG4_ACCOUNT, IDC_MAG4_SEPARATOR}) EXPECT_TRUE(IsEnabledControl(id)) << id;
  Click(IDC_MAG4_TRACKS + 12);  // "Auto"
  ChooseItem(IDC_MAG4_SEPARATOR, 27);
  EXPECT_EQ(TextOf(IDC_MAG4_SEPARATOR), L"ESC");
  Click(IDC_MAG4_STANDARD + 1);  // "JIS2" again: greyed, values kept
  EXPECT_FALSE(IsEnabledControl(IDC_MAG4_TRACKS + 12));
  ClickTab(0);
  Click(IDC_MAG4_BAUD + 4);    // "19200"
  Click(IDC_MAG4_PARITY + 4);  // "None"
  EXPECT_EQ(Save().image, Expect({{27, 0xEE}, {28, 0xAC}, {83, 0x0C}, {84, 27}}));

  ClickTab(3);
  Click(IDC_MAG4_STANDARD + 0);
  Type(IDC_MAG4_SEPARATOR, L"A");
  ReopenPage();
  EXPECT_EQ(TextOf(IDC_MAG4_SEPARATOR), L"A");
  EXPECT_EQ(Checked(page, IDC_MAG4_BAUD), 4);
  ClickTab(3);
  Click(IDC_MAG4_STANDARD + 1);
  Click(IDC_MAG4_DEFAULT4);
  EXPECT_EQ(TextOf(IDC_MAG4_SEPARATOR), L"CR");
  EXPECT_TRUE(IsEnabledControl(IDC_MAG4_SEPARATOR));
  EXPECT_EQ(Checked(page, IDC_MAG4_TRACKS), 13);
  EXPECT_EQ(Save().image, Expect({{25, 0x00}, {27, 0xEE}, {28, 0xB4}, {83, 0x0F}, {84, 13}}));
}

TEST_F(PageTest, MagMiscellaneousEditsTrackInsertionsAndStartEndCharacters) {
  ImageBytes image = q5r::kDefaultImage;
  image[29] = 2;
  image[30] = 'A';
  for (int i = 32; i <= 36; ++i) image[static_cast<std::size_t>(i)] = 'Z';  // after the run's end
  for (int i = 37; i <= 44; ++i) image[static_cast<std::size_t>(i)] = 'x';
  image[61] = '1';
  image[62] = '2';
  image[69] = 'S';
  image[70] = '3';
  image[77] = 0;  // shows an empty box
  image[78] = '!';
  image[83] = 0x7F;  // Switzerland, any track
  StartWith(image, {kMag, L"&Miscellaneous"}, L"Miscellaneous Parameters");
  ExpectCaptions(q5r::kMagMiscPage);
  EXPECT_EQ(Checked(q5r::kMagMiscPage, IDC_LANGUAGE), 7);
  ClickTab(1);
  EXPECT_TRUE(IsOn(IDC_MAG6_PREFIX_TRACK));
  EXPECT_TRUE(IsOn(IDC_MAG6_SUFFIX_TRACK));
  EXPECT_EQ(TextOf(IDC_MAG6_PREFIX), L"{STX}A");
  EXPECT_EQ(TextOf(IDC_MAG6_SUFFIX), L"xxxxxxxx");
  ClickTab(2);
  EXPECT_EQ(TextOf(IDC_MAG6_CHAR + 0), L"");
  EXPECT_EQ(TextOf(IDC_MAG6_CHAR + 1), L"!");
  EXPECT_EQ(TextOf(IDC_MAG6_CHAR + 2), L";");
  EXPECT_EQ(Save().image, Expect({{32, 255}, {33, 255}, {34, 255}, {35, 255}, {36, 255}}));

  ClickTab(1);
  Click(IDC_MAG6_PREFIX_TRACK + 1);
  EXPECT_EQ(TextOf(IDC_MAG6_PREFIX), L"");
  Type(IDC_MAG6_PREFIX, L"AB{CR}{LF}");
  Click(IDC_MAG6_SUFFIX_TRACK + 2);
  EXPECT_EQ(TextOf(IDC_MAG6_SUFFIX), L"S3");
  Type(IDC_MAG6_SUFFIX, L"");
  Click(IDC_MAG6_PREFIX_TRACK + 0);
  EXPECT_EQ(TextOf(IDC_MAG6_PREFIX), L"{STX}A");
  Type(IDC_MAG6_PREFIX, L"0123456789");
  Click(IDC_MAG6_PREFIX_TRACK + 2);
  EXPECT_EQ(TextOf(IDC_MAG6_PREFIX), L"12");
  Click(IDC_MAG6_PREFIX_CLEAR);
  ClickTab(2);
  Click(IDC_MAG6_CHAR_DEFAULT);
  EXPECT_EQ(TextOf(IDC_MAG6_CHAR + 0), L"%");
  Type(IDC_MAG6_CHAR + 0, L"#x");
  EXPECT_EQ(TextOf(IDC_MAG6_CHAR + 0), L"#");
  Type(IDC_MAG6_CHAR + 1, L"");  // an empty box stores nothing
  ClickTab(0);
  Click(IDC_LANGUAGE_DEFAULT);
  ReopenPage();
  ClickTab(1);
  EXPECT_EQ(TextOf(IDC_MAG6_PREFIX), L"01234567");
  ImageBytes expected = Expect({{77, '#'}, {78, '?'}, {79, ';'}, {80, '?'}, {81, '+'}, {82, '?'}, {83, 0x0F}});
  const char* track1 = "01234567";
  for (int i = 0; i < 8; ++i) expected[29 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(track1[i]);
  const std::uint8_t track2[] = {'A', 'B', 13, 10, 255, 255, 255, 255};
  for (int i = 0; i < 8; ++i) expected[45 + static_cast<std::size_t>(i)] = track2[i];
  for (int i = 61; i <= 76; ++i) expected[static_cast<std::size_t>(i)] = 255;
  EXPECT_EQ(Save().image, expected);
}

TEST_F(PageTest, ControlKeyDialogInsertsIntoTheBoxOfTheDeviceItServes) {
  Start();
  Choose({L"&Bar_Decoder", L"&Miscellaneous"});
  ASSERT_TRUE(WaitChild(L"Miscellaneous Parameters"));
  ClickTab(2);
  Type(IDC_CFG6_SUFFIX, L"AB");
  HWND suffix = Control(IDC_CFG6_SUFFIX);
  SendMessageW(suffix, EM_SETSEL, 1, 1);  // the caret between A and B
  PostClick(IDC_CFG6_SUFFIX_KEYS);
  HWND dialog = WaitForWindow(app_->Pid(), {.caption = L"Control Key", .className = L"#32770"}, kTimeout);
  ASSERT_NE(dialog, nullptr);
  auto press = [&](int id) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)), SMTO_ABORTIFHUNG, kTimeout, &ignored);
  };
  press(IDC_CTRL_INSERT);  // nothing picked: nothing inserted
  EXPECT_EQ(Text(suffix), L"AB");
  press(IDC_CTRL_KEY + 13);
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_CTRL_NAME)), L"CR");
  press(IDC_CTRL_INSERT);
  EXPECT_EQ(Text(suffix), L"A{CR}B");
  EXPECT_EQ(Text(GetDlgItem(dialog, IDC_CTRL_NAME)), L"");
  press(IDC_CTRL_KEY + 10);
  press(IDC_CTRL_INSERT);
  EXPECT_EQ(Text(suffix), L"A{CR}{LF}B");
  // Four characters are stored: one more at the end changes only the text.
  SendMessageW(suffix, EM_SETSEL, 10, 10);
  press(IDC_CTRL_KEY + 27);
  press(IDC_CTRL_INSERT);
  EXPECT_EQ(Text(suffix), L"A{CR}{LF}B{ESC}");
  // A selection is replaced.
  SendMessageW(suffix, EM_SETSEL, 0, 1);
  press(IDC_CTRL_KEY + 0);
  press(IDC_CTRL_INSERT);
  EXPECT_EQ(Text(suffix), L"{NUL}{CR}{LF}B{ESC}");
  press(IDC_CTRL_EXIT);
  ASSERT_TRUE(Poll([&] { return !IsWindow(dialog); }, kTimeout));

  // The magnetic page's prefix box of track 2.
  Choose({L"&Magnic_Reader", L"&Miscellaneous"});
  ASSERT_TRUE(WaitChild(L"Miscellaneous Parameters"));
  ClickTab(1);
  Click(IDC_MAG6_PREFIX_TRACK + 1);
  PostClick(IDC_MAG6_PREFIX_KEYS);
  dialog = WaitForWindow(app_->Pid(), {.caption = L"Control Key", .className = L"#32770"}, kTimeout);
  ASSERT_NE(dialog, nullptr);
  press(IDC_CTRL_KEY + 2);
  press(IDC_CTRL_INSERT);
  press(IDC_CTRL_EXIT);
  ASSERT_TRUE(Poll([&] { return !IsWindow(dialog); }, kTimeout));
  EXPECT_EQ(TextOf(IDC_MAG6_PREFIX), L"{STX}");
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &gui));
  EXPECT_EQ(gui.hwndFocus, Control(IDC_MAG6_PREFIX)) << "Exit leaves the focus in the box";

  const ImageBytes saved = Parse(SaveAs(Temp(L"keys.cfg"))).image;
  EXPECT_EQ(saved[12], 0);
  EXPECT_EQ(saved[13], 13);
  EXPECT_EQ(saved[14], 10);
  EXPECT_EQ(saved[15], 'B');
  EXPECT_EQ(saved[45], 2);
  for (int i = 46; i <= 52; ++i) EXPECT_EQ(saved[static_cast<std::size_t>(i)], 255);
}

}  // namespace
}  // namespace q5rtest
