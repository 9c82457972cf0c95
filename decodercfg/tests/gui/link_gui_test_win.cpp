// The Transmit and Read Decoder Memory windows against simulated decoders:
// on COM1 the RS232 simulator, on the keyboard port the adkb.dll stand-in.
#include <windows.h>

#include <algorithm>
#include <sstream>

#include "cfgfile.h"
#include "link/protocol.h"
#include "q5rsetup_gui_test_win.h"
#include "resource.h"
#include "serialdecoder_win.h"

namespace q5rtest {
namespace {

using namespace guidriver;

// A decoder configuration that differs from the factory block everywhere.
q5r::ImageBytes DecoderImage() {
  q5r::ImageBytes image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 3 + 1);
  return image;
}

std::string Hex(const q5r::ImageBytes& image) {
  std::string hex;
  for (std::uint8_t b : image) hex += q5r::HexPair(b);
  return hex;
}

q5r::ImageBytes ImageOf(const std::string& file) {
  q5r::FileInfo info;
  q5r::ConfigImage image;
  EXPECT_EQ(q5r::ParseConfigFile(file, info, image), q5r::ParseResult::kOk);
  return image.Bytes();
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class LinkTest : public Q5RSetupTest {
 protected:
  void OpenTransmit() {
    Choose({L"&Bar_Decoder", L"Transmit"});
    ASSERT_TRUE(WaitChild(L"Transmit"));
  }
  void OpenMemory() {
    Choose({L"&Tools", L"&Read Decoder Memory"});
    ASSERT_TRUE(WaitChild(L"Read Decoder Memory"));
  }
  // Presses a button whose operation ends in a message box, and answers it.
  void Operation(int button, const std::wstring& title, const std::wstring& text) {
    PostClick(button);
    Answer(title, text, L"OK");
    EXPECT_TRUE(Poll([&] { return IsEnabledControl(button); }, kTimeout)) << "buttons enabled again";
  }
  // Presses a button that first asks, answers OK, then answers the result.
  void AskedOperation(int button, const std::wstring& title, const std::wstring& question,
                      const std::wstring& text) {
    PostClick(button);
    Answer(title, question, L"OK");
    Answer(title, text, L"OK");
    EXPECT_TRUE(Poll([&] { return IsEnabledControl(button); }, kTimeout));
  }
  q5r::ImageBytes SavedImage(const std::wstring& name) { return ImageOf(SaveAs(Temp(name))); }
};

const std::wstring kCfg = L"CFG Message";
const std::wstring kUpload = L"Upload Message";
const std::wstring kQuestion = L"This will replace your current data with reader's data!";

TEST_F(LinkTest, SerialDownloadSendsTheFrameAndReportsEveryReply) {
  testbed::SerialDecoder decoder(1);
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  Start();
  OpenTransmit();
  EXPECT_TRUE(IsOn(IDC_OPTMODE1));
  EXPECT_TRUE(IsOn(IDC_OPTPORT0));
  EXPECT_TRUE(IsOn(IDC_OPTION1_1));
  EXPECT_FALSE(IsShown(IDC_PROGRESSBAR1));

  Operation(IDC_CMDTRANSMIT, kCfg, L"Download OK!");
  Click(IDC_OPTION1_0);  // Not Save
  Operation(IDC_CMDTRANSMIT, kCfg, L"Download OK!");
  const auto frames = decoder.WaitLogLines("download", 2);
  ASSERT_EQ(frames.size(), 2u) << decoder.Log();
  EXPECT_EQ(frames[0], "download 020154" + Hex(q5r::kDefaultImage) + "03" +
                           q5r::HexPair(q5r::BuildDownloadFrame(q5r::kDefaultImage, true)[89]) + " valid");
  EXPECT_EQ(frames[1].substr(0, 15), "download 020254");
  EXPECT_NE(frames[1].find(" valid"), std::string::npos);

  decoder.SetSettings("download-reply=06\n");
  Operation(IDC_CMDTRANSMIT, kCfg, L"Download Failed!");
  decoder.SetSettings("download-reply=none\n");
  Operation(IDC_CMDTRANSMIT, kCfg, L"Time Out Error!");
}

TEST_F(LinkTest, SerialUploadTakesEachSectionAndRejectsABadCheck) {
  testbed::SerialDecoder decoder(1, "upload-section=mag\n", {"--image=" + Hex(DecoderImage())});
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  Start();
  OpenTransmit();
  AskedOperation(IDC_CMDRECEIVE, kUpload, kQuestion, L"   Upload OK!   ");
  q5r::ImageBytes expected = q5r::kDefaultImage;
  const q5r::ImageBytes image = DecoderImage();
  std::copy(image.begin() + 25, image.end(), expected.begin() + 25);
  EXPECT_EQ(SavedImage(L"mag.cfg"), expected);

  // The bar-code section in a reply longer than the 84-byte threshold.
  decoder.SetSettings("upload-section=bar\nupload-length=61\n");
  AskedOperation(IDC_CMDRECEIVE, kUpload, kQuestion, L"   Upload OK!   ");
  std::copy(image.begin(), image.begin() + 25, expected.begin());
  EXPECT_EQ(SavedImage(L"both.cfg"), expected);

  // Cancel asks nothing of the decoder; a bad check changes nothing.
  PostClick(IDC_CMDRECEIVE);
  Answer(kUpload, kQuestion, L"Cancel");
  decoder.SetSettings("upload-section=mag\nupload-fault=badcheck\n");
  AskedOperation(IDC_CMDRECEIVE, kUpload, kQuestion, L"Upload Failed!");
  decoder.SetSettings("upload-section=mag\nupload-fault=short\n");
  AskedOperation(IDC_CMDRECEIVE, kUpload, kQuestion, L"Time Out Error!");
  EXPECT_EQ(decoder.WaitLogLines("upload", 4).size(), 4u) << decoder.Log();
  Close(main_);
  EXPECT_TRUE(WaitExit()) << "nothing changed since the last save";
}

TEST_F(LinkTest, FirmwareVersionIsShownAndLeavesTheImage) {
  testbed::SerialDecoder decoder(1, "upload-section=mag\nversion=Q5R V3.44   2026-11-30\n",
                                 {"--image=" + Hex(DecoderImage())});
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  Start();
  OpenTransmit();
  Operation(IDC_CMDVERSION, kUpload, L"Get Firmware Version OK!\r\r   Q5R V3.44   \n\r   2026-11-30");
  Close(main_);
  EXPECT_TRUE(WaitExit()) << "the image is untouched, so closing asks nothing";
}

TEST_F(LinkTest, APortWithoutADeviceIsNotAvailable) {
  Start();
  OpenTransmit();
  Click(IDC_OPTPORT0 + 1);
  Operation(IDC_CMDTRANSMIT, L"Q5RSetup", L"COM 2: not available.");
  OpenMemory();
  EXPECT_TRUE(IsOn(IDC_OPTPORT0 + 1)) << "the port is shared by both windows";
}

TEST_F(LinkTest, KeyboardLinkGivesUpAfterFifteenWakeUps) {
  Start({{L"ADKB_STANDIN_DECODER", L"absent"}});
  OpenTransmit();
  Click(IDC_OPTMODE0);
  EXPECT_FALSE(IsEnabledControl(IDC_OPTPORT0));
  EXPECT_FALSE(IsEnabledControl(IDC_OPTBAUD0 + 3));
  Operation(IDC_CMDTRANSMIT, kCfg, L"Times Out Error");
  const std::string log = AdkbLogWhen([](const std::string& text) { return Count(text, "SetPortVal 0x60 0x41 1") >= 75; });
  EXPECT_EQ(Count(log, "SetPortVal 0x60 0x41 1"), 75u) << log;
  EXPECT_EQ(Count(log, "SetPortVal 0x21 0x0 1"), 1u) << log;
  // The choice of link travels in the configuration file.
  EXPECT_EQ(SaveAs(Temp(L"keyboard.cfg")).find("\r\n 0 \r\n 65 \r\n") != std::string::npos, true);
}

TEST_F(LinkTest, KeyboardLinkDownloadsUploadsAndReadsTheVersion) {
  Start({{L"ADKB_STANDIN_IMAGE", Wide(Hex(DecoderImage()))},
         {L"ADKB_STANDIN_VERSION", L"KBD V1.00   2026-10-01"}});
  OpenTransmit();
  Click(IDC_OPTMODE0);
  Operation(IDC_CMDTRANSMIT, kCfg, L"Download OK!");
  Operation(IDC_CMDVERSION, kUpload, L"Get Firmware Version OK!\r\r   KBD V1.00   \n\r   2026-10-01");
  // The download replaced the decoder's image with ours: upload the
  // magnetic section back and nothing changes.
  AskedOperation(IDC_CMDRECEIVE, kUpload, kQuestion, L"   Upload OK!   ");
  EXPECT_EQ(SavedImage(L"kbd.cfg"), q5r::kDefaultImage);
  auto wakeUp = [](const std::string& letter) {
    std::string five;
    for (int i = 0; i < 5; ++i) five += "SetPortVal 0x60 0x" + letter + " 1\r\n";
    return five;
  };
  const std::string log = AdkbLogWhen([&](const std::string& text) { return Count(text, wakeUp("43")) >= 2; });
  EXPECT_EQ(Count(log, wakeUp("41")), 1u) << "Save was chosen: AAAAA";
  EXPECT_EQ(Count(log, wakeUp("42")), 0u) << "not BBBBB";
  EXPECT_EQ(Count(log, wakeUp("43")), 2u) << "version and upload: CCCCC";
}

TEST_F(LinkTest, KeyboardUploadRejectsAReplyOfTheWrongLength) {
  Start({{L"ADKB_STANDIN_IMAGE", Wide(Hex(DecoderImage()))},
         {L"ADKB_STANDIN_REPLY", L"short"}});
  OpenTransmit();
  Click(IDC_OPTMODE0);
  AskedOperation(IDC_CMDRECEIVE, kUpload, kQuestion, L"Upload Failed!");
  Close(main_);
  EXPECT_TRUE(WaitExit()) << "the image is untouched";
}

TEST_F(LinkTest, ALinkModeOfZeroInTheFileChoosesTheKeyboard) {
  Start();
  q5r::FileInfo info;
  info.linkMode = 0;
  info.linkPort = 3;
  WriteBytes(Temp(L"kbd.cfg"), q5r::FormatConfigFile(info, q5r::kDefaultImage));
  OpenFile(Temp(L"kbd.cfg"));
  OpenTransmit();
  EXPECT_TRUE(IsOn(IDC_OPTMODE0));
  EXPECT_TRUE(IsOn(IDC_OPTPORT0 + 2));
  EXPECT_FALSE(IsEnabledControl(IDC_OPTPORT0 + 2));
}

// ---- decoder memory ----

const std::wstring kRead = L"Read Memory Message";
const std::wstring kReadQuestion = L"This will read decoder memory data!";
const std::wstring kClear = L"Clear Memory Message";
const std::wstring kClearQuestion = L"This will Clear decoder memory data!";
const std::wstring kChangedQuestion = L"Memory Data had been changed,do you want to save your file?";

TEST_F(LinkTest, SerialMemoryReadSpansBlocksAndAsksBeforeClosingUnsaved) {
  // 3 records of 60 text characters: 62 bytes each, so they span blocks.
  const std::string a(60, 'a'), b(60, 'b'), c(60, 'c');
  testbed::SerialDecoder decoder(1, "", {"--record=" + a, "--record=" + b, "--record=" + c});
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  Start();
  OpenMemory();
  AskedOperation(IDC_CMDREAD, kRead, kReadQuestion, L"   Read Decoder Memory OK!");
  const std::wstring expected = std::wstring(60, L'a') + L"\r\n" + std::wstring(60, L'b') + L"\r\n" +
                                std::wstring(60, L'c') + L"\r\n";
  EXPECT_EQ(TextOf(IDC_TXTMEMORY), expected);
  // The last block is acknowledged with P: wait until the simulator logs it.
  std::vector<std::string> acks;
  Poll([&] { return !(acks = decoder.LogLines("ack")).empty() && acks.back() == "ack P"; }, kTimeout);
  ASSERT_FALSE(acks.empty()) << decoder.Log();
  EXPECT_EQ(acks.back(), "ack P");

  // Unsaved: Exit asks; Cancel keeps the window.
  PostClick(IDC_CMDEXIT);
  Answer(L"Memory Data Read", kChangedQuestion, L"Cancel");
  EXPECT_EQ(ChildCaption(), L"Read Decoder Memory");
  PostClick(IDC_CMDSAVEAS);
  FileDialog(L"Save As", Temp(L"memory.txt"));
  ASSERT_TRUE(Poll([&] { return ReadBytes(Temp(L"memory.txt")).has_value(); }, kTimeout));
  std::string ansi(expected.begin(), expected.end());
  EXPECT_EQ(ReadBytes(Temp(L"memory.txt")).value_or(""), ansi + "\r\n");
  PostClick(IDC_CMDEXIT);
  EXPECT_TRUE(WaitChild(L"")) << "saved: no question";
}

TEST_F(LinkTest, SerialMemoryClearAndAFailedSave) {
  testbed::SerialDecoder decoder(1, "", {"--record=4006381333931"});
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  Start();
  OpenMemory();
  AskedOperation(IDC_CMDCLEAR, kClear, kClearQuestion, L"Clear Decoder Memory OK!");
  decoder.SetSettings("clear-reply=15\n");
  AskedOperation(IDC_CMDCLEAR, kClear, kClearQuestion, L"Clear Decoder Memory Failed!");
  EXPECT_EQ(decoder.WaitLogLines("clear", 2).size(), 2u) << decoder.Log();

  // A save that cannot write says so, keeps the old file and keeps asking.
  const std::wstring path = Temp(L"held.txt");
  Type(IDC_TXTMEMORY, L"first");
  PostClick(IDC_CMDSAVEAS);
  FileDialog(L"Save As", path);
  ASSERT_TRUE(Poll([&] { return ReadBytes(path).value_or("") == "first\r\n"; }, kTimeout));
  Type(IDC_TXTMEMORY, L"second");
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  PostClick(IDC_CMDSAVE);
  Answer(L"Memory Data Read", L"The file \"" + path + L"\" could not be saved.", L"OK");
  CloseHandle(lock);
  EXPECT_EQ(ReadBytes(path).value_or(""), "first\r\n");
  PostClick(IDC_CMDEXIT);
  Answer(L"Memory Data Read", kChangedQuestion, L"&No");
  EXPECT_TRUE(WaitChild(L""));
}

TEST_F(LinkTest, KeyboardMemoryReadAndClear) {
  Start({{L"ADKB_STANDIN_MEMORY", L"4006381333931\r5012345678900\r"}});
  OpenMemory();
  Click(IDC_OPTMODE0);
  PostClick(IDC_CMDREAD);
  Answer(kRead, kReadQuestion, L"OK");
  ASSERT_TRUE(Poll([&] { return IsEnabledControl(IDC_CMDREAD); }, kTimeout));
  EXPECT_EQ(TextOf(IDC_TXTMEMORY), L"4006381333931\r\n5012345678900\r\n");
  EXPECT_NE(AdkbLogWhen(Contains("SetPortVal 0x60 0x4d 1")).find("SetPortVal 0x60 0x4d 1"), std::string::npos);
  AskedOperation(IDC_CMDCLEAR, kClear, kClearQuestion, L"Clear Decoder Memory OK!");
}

}  // namespace
}  // namespace q5rtest
