// The adkb.dll stand-in, loaded by name from beside this test the way
// Q5RSetup loads it, answers and logs as its environment tells it to. The
// decoder tests write from this thread, as Q5RSetup's window thread does,
// and pump its messages to see what the decoder typed into the focus.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "link/memoryrecords.h"
#include "link/protocol.h"

namespace {

using InitFn = BOOL(WINAPI*)();
using SetPortValFn = BOOL(WINAPI*)(DWORD, DWORD, BYTE);
using ShutdownFn = void(WINAPI*)();

class AdkbStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t dir[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, dir), 0u);
    log_ = std::wstring(dir) + L"adkb_standin_test_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(log_.c_str());
    SetEnvironmentVariableW(L"ADKB_STANDIN_LOG", log_.c_str());
    for (const wchar_t* name : {L"ADKB_STANDIN_INIT", L"ADKB_STANDIN_DECODER", L"ADKB_STANDIN_ANSWER_AT",
                                L"ADKB_STANDIN_SECTION", L"ADKB_STANDIN_REPLY", L"ADKB_STANDIN_DOWNLOAD_ACK",
                                L"ADKB_STANDIN_VERSION", L"ADKB_STANDIN_MEMORY", L"ADKB_STANDIN_IMAGE"}) {
      SetEnvironmentVariableW(name, nullptr);
    }
    dll_ = LoadLibraryW(L"adkb.dll");
    ASSERT_NE(dll_, nullptr) << "adkb.dll not found beside the test";
    init_ = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(dll_, "InitializeWinIo")));
    setPortVal_ = reinterpret_cast<SetPortValFn>(reinterpret_cast<void*>(GetProcAddress(dll_, "SetPortVal")));
    shutdown_ = reinterpret_cast<ShutdownFn>(reinterpret_cast<void*>(GetProcAddress(dll_, "ShutdownWinIo")));
    ASSERT_TRUE(init_ && setPortVal_ && shutdown_) << "an export is missing or has a decorated name";
  }
  void TearDown() override {
    if (dll_) FreeLibrary(dll_);
    DeleteFileW(log_.c_str());
  }
  std::string Log() const {
    std::ifstream in(std::filesystem::path(log_), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::wstring log_;
  HMODULE dll_ = nullptr;
  InitFn init_ = nullptr;
  SetPortValFn setPortVal_ = nullptr;
  ShutdownFn shutdown_ = nullptr;
};

TEST_F(AdkbStandIn, SucceedsByDefaultAndLogsEachCallAtOnce) {
  EXPECT_TRUE(init_());
  EXPECT_EQ(Log(), "InitializeWinIo\r\n");
  EXPECT_TRUE(setPortVal_(0x60, 0x41, 1));
  EXPECT_EQ(Log(), "InitializeWinIo\r\nSetPortVal 0x60 0x41 1\r\n");
  shutdown_();
  EXPECT_EQ(Log(), "InitializeWinIo\r\nSetPortVal 0x60 0x41 1\r\nShutdownWinIo\r\n");
}

TEST_F(AdkbStandIn, FailsToInitializeWhenAsked) {
  SetEnvironmentVariableW(L"ADKB_STANDIN_INIT", L"fail");
  EXPECT_FALSE(init_());
  EXPECT_FALSE(setPortVal_(0x64, 0xd2, 1));
  EXPECT_EQ(Log(), "InitializeWinIo\r\nSetPortVal 0x64 0xd2 1\r\n");
}

TEST_F(AdkbStandIn, RejectsBadWritesAndWritesAfterShutdown) {
  ASSERT_TRUE(init_());
  EXPECT_FALSE(setPortVal_(0x60, 0x41, 3));
  EXPECT_FALSE(setPortVal_(0x10000, 0x41, 1));
  EXPECT_TRUE(setPortVal_(0x378, 0xffff, 2));
  shutdown_();
  EXPECT_FALSE(setPortVal_(0x60, 0x41, 1));
}

TEST_F(AdkbStandIn, WritesNoLogWithoutALogPath) {
  SetEnvironmentVariableW(L"ADKB_STANDIN_LOG", nullptr);
  EXPECT_TRUE(init_());
  shutdown_();
  EXPECT_EQ(GetFileAttributesW(log_.c_str()), INVALID_FILE_ATTRIBUTES);
}

// ---- the decoder on the keyboard port ----------------------------------

// A window with two edit boxes, the capture box and the memory box, that
// records every character and key-down reaching each. It stays hidden: the
// focus and the posted keys work without it being shown.
class Target {
 public:
  struct Box {
    HWND hwnd = nullptr;
    WNDPROC original = nullptr;
    std::string chars;
    std::vector<WPARAM> keys;
  };

  Target() {
    frame_ = CreateWindowExW(0, L"STATIC", L"decoder target", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                             nullptr, nullptr, nullptr, nullptr);
    for (Box* box : {&capture, &memory}) {
      box->hwnd = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, box == &capture ? 0 : 50,
                                  300, 40, frame_, nullptr, nullptr, nullptr);
      SetWindowLongPtrW(box->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box));
      box->original = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(box->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Record)));
    }
    SetFocus(capture.hwnd);
  }
  ~Target() { DestroyWindow(frame_); }
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;

  // Delivers everything posted so far, including what the decoder types
  // in answer to it.
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  Box capture, memory;

 private:
  static LRESULT CALLBACK Record(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Box* box = reinterpret_cast<Box*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_CHAR) box->chars.push_back(static_cast<char>(wp));
    if (msg == WM_KEYDOWN) box->keys.push_back(wp);
    return CallWindowProcW(box->original, hwnd, msg, wp, lp);
  }

  HWND frame_ = nullptr;
};

class KeyboardDecoder : public AdkbStandIn {
 protected:
  void Write(std::string_view chars) {
    for (const char c : chars) setPortVal_(0x60, static_cast<unsigned char>(c), 1);
  }
  void Release() { setPortVal_(0x21, 0x00, 1); }
  // A ready wait answered by S, as the windows run it.
  void Wake(char letter) {
    target_.capture.chars.clear();
    target_.capture.keys.clear();
    Write(std::string(5, letter));
    Target::Pump();
    ASSERT_EQ(target_.capture.chars, "S");
    target_.capture.chars.clear();
    target_.capture.keys.clear();
    Release();
  }
  std::optional<q5r::KeyboardUploadReply> Upload() {
    Wake('C');
    Target::Pump();
    const std::string& typed = target_.capture.chars;
    return q5r::ParseKeyboardUploadReply(std::wstring(typed.begin(), typed.end()));
  }

  Target target_;
};

TEST_F(KeyboardDecoder, AnswersTheWakeUpStringWithTheSKey) {
  ASSERT_TRUE(init_());
  Write("CCCC");
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "");
  Write("C");
  EXPECT_EQ(target_.capture.chars, "") << "typed during the port write";
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "S");
  EXPECT_EQ(target_.capture.keys, std::vector<WPARAM>{83});
  EXPECT_NE(Log().find("SetPortVal 0x60 0x43 1\r\n"), std::string::npos);
}

TEST_F(KeyboardDecoder, WaitsTheThirdWakeUpOrNeverAnswersWhenAbsent) {
  SetEnvironmentVariableW(L"ADKB_STANDIN_ANSWER_AT", L"3");
  ASSERT_TRUE(init_());
  Write("MMMMMMMMMM");
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "");
  Write("MMMMM");
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "S");

  SetEnvironmentVariableW(L"ADKB_STANDIN_DECODER", L"absent");
  ASSERT_TRUE(init_());
  target_.capture.chars.clear();
  for (int tick = 0; tick < 15; ++tick) Write("AAAAA");
  Release();
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "");

  SetEnvironmentVariableW(L"ADKB_STANDIN_DECODER", nullptr);
  SetEnvironmentVariableW(L"ADKB_STANDIN_INIT", L"fail");
  EXPECT_FALSE(init_());
  Write("CCCCC");
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "");
}

TEST_F(KeyboardDecoder, UploadReplyIsTypedOnceTheReadyWaitIsReleased) {
  ASSERT_TRUE(init_());
  const auto mag = Upload();
  ASSERT_TRUE(mag) << target_.capture.chars;
  EXPECT_EQ(mag->data.section, q5r::ImageSection::kMagReader);
  EXPECT_TRUE(std::equal(mag->data.bytes.begin(), mag->data.bytes.end(), q5r::kDefaultImage.begin() + 25));
  EXPECT_EQ(mag->versionFirst + mag->versionSecond, L"Q5R V2.10   2026-12-01");
  // No key in the reply ends the Transmit window's waits early.
  for (const WPARAM key : target_.capture.keys) EXPECT_TRUE(key != 83 && key != 80 && key != 126) << key;

  SetEnvironmentVariableW(L"ADKB_STANDIN_SECTION", L"bar");
  const struct {
    const wchar_t* mode;
    std::size_t length;
  } faults[] = {{L"badcheck", 145}, {L"short", 144}, {L"long", 146}, {L"badflag", 145}, {L"baddigit", 145},
                {L"none", 0}};
  for (const auto& fault : faults) {
    SetEnvironmentVariableW(L"ADKB_STANDIN_REPLY", fault.mode);
    ASSERT_TRUE(init_());
    EXPECT_FALSE(Upload()) << fault.mode;
    EXPECT_EQ(target_.capture.chars.size(), fault.length) << fault.mode;
  }
  SetEnvironmentVariableW(L"ADKB_STANDIN_REPLY", nullptr);
  ASSERT_TRUE(init_());
  const auto bar = Upload();
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->data.section, q5r::ImageSection::kBarDecoder);
}

TEST_F(KeyboardDecoder, GoodDownloadsAreAcknowledgedWithPAndKept) {
  SetEnvironmentVariableW(L"ADKB_STANDIN_SECTION", L"bar");
  ASSERT_TRUE(init_());
  q5r::ImageBytes image = q5r::kDefaultImage;
  image[3] = 'x';
  std::string data = q5r::KeyboardDownloadText(image);

  std::string broken = data;
  broken[7] = broken[7] == '0' ? '1' : '0';
  Wake('A');
  Write(broken);
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "");
  Release();

  Wake('B');
  Write(data);
  Target::Pump();
  EXPECT_EQ(target_.capture.chars, "P");
  EXPECT_EQ(target_.capture.keys, std::vector<WPARAM>{80});
  Release();

  const auto reply = Upload();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->data.bytes[3], 'x');
}

TEST_F(KeyboardDecoder, MemoryIsTypedIntoTheBoxThatHasTheFocusThenCleared) {
  SetEnvironmentVariableW(L"ADKB_STANDIN_MEMORY", L"12345\r678");
  ASSERT_TRUE(init_());
  Wake('M');
  SetFocus(target_.memory.hwnd);  // the memory window focuses its text box after the release
  Target::Pump();
  EXPECT_EQ(target_.memory.chars, "12345\r678\x03");
  EXPECT_EQ(target_.capture.chars, "");
  EXPECT_EQ(target_.memory.keys.size(), 10u);

  SetFocus(target_.capture.hwnd);
  Wake('N');
  Target::Pump();
  Wake('M');
  SetFocus(target_.memory.hwnd);
  target_.memory.chars.clear();
  Target::Pump();
  EXPECT_EQ(target_.memory.chars, "\x03");
}

}  // namespace
