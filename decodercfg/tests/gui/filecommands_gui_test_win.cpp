// The File menu as a user meets it: Save As, Open, the refused file, the
// change prompts of New, Open, Exit and close, and a save that fails.
#include <windows.h>

#include "cfgfile.h"
#include "q5rsetup_gui_test_win.h"
#include "resource.h"

namespace q5rtest {
namespace {

using namespace guidriver;

const std::wstring kSetup = L"Configuration Setup";
const std::wstring kChanged = L"Configuration had been changed,do you want to save your file?";
const std::wstring kNotConfig = L"This File Is Not A Configuration Setup File";

// A configuration that differs from the defaults in both regions, with
// texts that a careless writer or reader would mangle.
std::string CraftedFile() {
  q5r::FileInfo info;
  info.deviceName = "Till 3, \"front\"";
  info.userName = "";
  info.buildingDate = "08.12.2026";
  info.description = "caf\xE9 \xFC, 100%";
  info.linkPort = 3;
  info.linkMode = 0;
  q5r::ImageBytes image = q5r::kDefaultImage;
  image[0] = 'Z';
  image[16] = 0x1A;
  image[24] = 0xFE;
  image[30] = 7;
  image[84] = 9;
  return q5r::FormatConfigFile(info, image);
}

q5r::ImageBytes ImageOf(const std::string& file) {
  q5r::FileInfo info;
  q5r::ConfigImage image;
  EXPECT_EQ(q5r::ParseConfigFile(file, info, image), q5r::ParseResult::kOk);
  return image.Bytes();
}

class FileTest : public Q5RSetupTest {
 protected:
  // Opens `path` through the Open dialog and waits for the new caption.
  void Open(const std::wstring& path) {
    Choose({L"&File", L"&Open..."});
    FileDialog(L"Open", path);
    ASSERT_TRUE(Poll([&] { return Caption() == L"Configuration Setup: " + path; }, kTimeout))
        << Narrow(Caption());
  }
  // Loads the bar-code defaults into a crafted file's image: an unsaved change.
  void MakeChange() {
    Choose({L"&Bar_Decoder", L"&Set All Default"});
    Answer(kSetup, L"Are you sure to set all to default values for Bar Decoder?", L"&Yes");
  }
};

TEST_F(FileTest, SaveOfANewConfigurationOffersNewFileAndCancelWritesNothing) {
  Start();
  Choose({L"&File", L"&Save"});
  EXPECT_EQ(FileDialog(L"Save As", L""), L"New File");
  EXPECT_TRUE(NoMessageBox(app_->Pid(), 300));
  EXPECT_EQ(Caption(), L"Q5R Configuration: New File");
  // Still a new file: Save asks for a name again.
  Choose({L"&File", L"&Save"});
  EXPECT_EQ(FileDialog(L"Save As", L""), L"New File");
}

TEST_F(FileTest, SaveAsWritesTheDefaultFileAndOpenRestoresEveryField) {
  Start();
  const std::wstring fresh = Temp(L"fresh.cfg");
  Choose({L"&File", L"Save &As..."});
  FileDialog(L"Save As", fresh);
  ASSERT_TRUE(Poll([&] { return Caption() == L"Configuration Setup: " + fresh; }, kTimeout));
  const std::string saved = ReadBytes(fresh).value_or("");
  std::size_t lines = 0;
  for (std::size_t at = saved.find("\r\n"); at != std::string::npos; at = saved.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 92u);
  EXPECT_EQ(saved.rfind("oxet\r\nDevice Name\r\nUser's Name\r\n", 0), 0u);
  EXPECT_NE(saved.find("Your description about this configuration file\r\n 1 \r\n 1 \r\n 65 \r\n 66 \r\n"),
            std::string::npos);
  EXPECT_EQ(saved.substr(saved.size() - 6), " 13 \r\n");
  EXPECT_EQ(ImageOf(saved), q5r::kDefaultImage);

  // A crafted file goes through Open and Save As byte for byte; a page that
  // was open is closed by Open.
  const std::wstring crafted = Temp(L"crafted.cfg");
  const std::wstring copy = Temp(L"copy.cfg");
  WriteBytes(crafted, CraftedFile());
  Choose({L"&Bar_Decoder", L"&Interface"});
  ASSERT_TRUE(WaitChild(L"Interface"));
  Open(crafted);
  EXPECT_TRUE(WaitChild(L""));
  Choose({L"&File", L"Save &As..."});
  EXPECT_EQ(FileDialog(L"Save As", copy), L"crafted.cfg");
  ASSERT_TRUE(Poll([&] { return Caption() == L"Configuration Setup: " + copy; }, kTimeout));
  EXPECT_EQ(ReadBytes(copy).value_or(""), CraftedFile());

  // Nothing changed since the save: closing asks nothing.
  Close(main_);
  EXPECT_TRUE(WaitExit());
}

TEST_F(FileTest, ARefusedFileChangesNothingAndSaveKeepsTheFileInUse) {
  Start();
  const std::wstring good = Temp(L"good.cfg");
  const std::wstring bad = Temp(L"bad.cfg");
  WriteBytes(good, CraftedFile());
  const std::string badText = "OXET\r\n" + CraftedFile().substr(6);
  WriteBytes(bad, badText);
  Open(good);

  Choose({L"&File", L"&Open..."});
  FileDialog(L"Open", bad);
  Answer(kSetup, kNotConfig, L"OK");
  EXPECT_EQ(Caption(), L"Configuration Setup: " + good);

  MakeChange();
  Choose({L"&File", L"&Save"});  // no dialog: the file in use is good.cfg
  ASSERT_TRUE(Poll([&] { return ImageOf(ReadBytes(good).value_or(""))[0] == 'A'; }, kTimeout));
  const q5r::ImageBytes image = ImageOf(ReadBytes(good).value_or(""));
  EXPECT_EQ(image[30], 7) << "the magnetic region is the file's";
  EXPECT_EQ(image[24], 0) << "the bar-code region is the defaults";
  EXPECT_EQ(ReadBytes(bad).value_or(""), badText);
}

TEST_F(FileTest, NewAndOpenAskAboutChangesAndCancelKeepsEverything) {
  Start();
  const std::wstring crafted = Temp(L"crafted.cfg");
  WriteBytes(crafted, CraftedFile());
  Open(crafted);
  MakeChange();

  Choose({L"&File", L"&New"});
  Answer(kSetup, kChanged, L"Cancel");
  EXPECT_EQ(Caption(), L"Configuration Setup: " + crafted);
  Choose({L"&File", L"&Open..."});
  Answer(kSetup, kChanged, L"Cancel");
  EXPECT_FALSE(WaitFileDialog(app_->Pid(), L"Open", 500));

  // The memory window survives New; No discards the change.
  Choose({L"&Tools", L"&Read Decoder Memory"});
  ASSERT_TRUE(WaitChild(L"Read Decoder Memory"));
  Choose({L"&File", L"&New"});
  Answer(kSetup, kChanged, L"&No");
  // The maximised child adds " - [its caption]", as in every MDI program.
  ASSERT_TRUE(Poll([&] { return Caption().rfind(L"Configuration Setup: New File", 0) == 0; }, kTimeout))
      << Narrow(Caption());
  EXPECT_EQ(ChildCaption(), L"Read Decoder Memory");
  EXPECT_EQ(ReadBytes(crafted).value_or(""), CraftedFile());
  Close(main_);
  EXPECT_TRUE(WaitExit()) << "New took a fresh snapshot, so closing asks nothing";
}

TEST_F(FileTest, CloseAsksAboutChangesAndYesSavesFirst) {
  Start();
  const std::wstring crafted = Temp(L"crafted.cfg");
  WriteBytes(crafted, CraftedFile());
  Open(crafted);
  MakeChange();

  Close(main_);
  Answer(kSetup, kChanged, L"Cancel");
  EXPECT_TRUE(app_->IsRunning());
  EXPECT_EQ(AdkbLog().find("ShutdownWinIo"), std::string::npos) << "the port link stays usable";
  Close(main_);
  Answer(kSetup, kChanged, L"&Yes");
  ASSERT_TRUE(WaitExit());
  EXPECT_EQ(ImageOf(ReadBytes(crafted).value_or(""))[0], 'A');
  EXPECT_NE(AdkbLogWhen(Contains("ShutdownWinIo")).find("ShutdownWinIo"), std::string::npos);
}

TEST_F(FileTest, ExitAlwaysAsksAndAsksAgainAboutUnsavedChanges) {
  Start();
  Choose({L"&File", L"E&xit"});
  Answer(kSetup, L"Do you want to save your file?", L"Cancel");
  EXPECT_TRUE(app_->IsRunning());

  const std::wstring crafted = Temp(L"crafted.cfg");
  WriteBytes(crafted, CraftedFile());
  Open(crafted);
  MakeChange();
  Choose({L"&File", L"E&xit"});
  Answer(kSetup, L"Do you want to save your file?", L"&No");
  Answer(kSetup, kChanged, L"&No");
  ASSERT_TRUE(WaitExit());
  EXPECT_EQ(ReadBytes(crafted).value_or(""), CraftedFile());
}

TEST_F(FileTest, SetAllDefaultAsksWithNoAsDefaultAndResetsOnlyItsRegion) {
  Start();
  const std::wstring crafted = Temp(L"crafted.cfg");
  WriteBytes(crafted, CraftedFile());
  Open(crafted);

  Choose({L"&Magnic_Reader", L"&Set All Default"});
  auto box = WaitMessageBox(app_->Pid(), kTimeout);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, L"Are you sure to set all to default values for Magnet Reader?");
  HWND no = FindChild(box->hwnd, WindowQuery{}.Caption(L"&No"));
  ASSERT_NE(no, nullptr);
  EXPECT_EQ(GetWindowLongW(no, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON) << "No is the default";
  Press(*box, L"&No");
  // The next question has the same text: wait until this box is gone, so
  // that the answer goes to the new one.
  ASSERT_TRUE(Poll([&] { return !IsWindow(box->hwnd); }, kTimeout));
  Choose({L"&File", L"&Save"});
  Choose({L"&Magnic_Reader", L"&Set All Default"});
  Answer(kSetup, L"Are you sure to set all to default values for Magnet Reader?", L"&Yes");
  Choose({L"&File", L"&Save"});
  ASSERT_TRUE(Poll([&] { return ImageOf(ReadBytes(crafted).value_or(""))[30] == 255; }, kTimeout));
  const q5r::ImageBytes image = ImageOf(ReadBytes(crafted).value_or(""));
  EXPECT_EQ(image[0], 'Z');
  EXPECT_EQ(image[24], 0xFE);
  EXPECT_EQ(image[84], 13);
}

TEST_F(FileTest, AFailedSaveSaysSoKeepsTheOldFileAndTheChangePrompt) {
  Start();
  const std::wstring crafted = Temp(L"crafted.cfg");
  WriteBytes(crafted, CraftedFile());
  Open(crafted);
  MakeChange();
  {
    // Another program holds the file open and shares nothing.
    HANDLE lock = CreateFileW(crafted.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Choose({L"&File", L"&Save"});
    Answer(kSetup, L"The file \"" + crafted + L"\" could not be saved.", L"OK");
    CloseHandle(lock);
  }
  EXPECT_EQ(ReadBytes(crafted).value_or(""), CraftedFile());
  Close(main_);
  Answer(kSetup, kChanged, L"&No");
  EXPECT_TRUE(WaitExit());
}

}  // namespace
}  // namespace q5rtest
