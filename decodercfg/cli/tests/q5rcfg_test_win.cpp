// The Windows console build of q5rcfg under Wine, run as a script would run
// it, against the simulated decoder behind COM1: its output, exit status
// and files.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cfgfile.h"
#include "fileio_win.h"
#include "handle_win.h"
#include "serialdecoder_win.h"
#include "text_win.h"

namespace {

struct Result {
  DWORD status = 0xFFFFFFFF;
  std::string out, err;
};

std::wstring Folder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

class Q5rcfgOnCom : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = std::wstring(temp) + L"q5rcfg_test_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(dir_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const wchar_t* name : {L"a.cfg", L"up.cfg", L"mem.txt"}) DeleteFileW(File(name).c_str());
    RemoveDirectoryW(dir_.c_str());
  }

  std::wstring File(const wchar_t* name) const { return dir_ + name; }
  std::string Ansi(const wchar_t* name) const { return kit::ToAnsi(File(name)); }

  // Runs q5rcfg.exe with the arguments, its output going to two files.
  Result Run(const std::vector<std::string>& args) {
    std::wstring command = L"\"" + Folder() + L"q5rcfg.exe\"";
    for (const std::string& a : args) command += L" \"" + kit::FromAnsi(a) + L"\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Result r;
    // Fresh files for every run, opened for sharing: a console helper of
    // the child may hold its handles a moment after the child has ended.
    const std::wstring outName = L"out" + std::to_wstring(++runs_), errName = L"err" + std::to_wstring(runs_);
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    {
      kit::UniqueHandle out(CreateFileW(File(outName.c_str()).c_str(), GENERIC_WRITE, kShareAll, &inherit, CREATE_ALWAYS, 0, nullptr));
      kit::UniqueHandle err(CreateFileW(File(errName.c_str()).c_str(), GENERIC_WRITE, kShareAll, &inherit, CREATE_ALWAYS, 0, nullptr));
      STARTUPINFOW si{};
      si.cb = sizeof si;
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = nullptr;
      si.hStdOutput = out.get();
      si.hStdError = err.get();
      PROCESS_INFORMATION pi{};
      if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start q5rcfg.exe: error " << GetLastError();
        return r;
      }
      kit::UniqueHandle process(pi.hProcess), thread(pi.hThread);
      if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        ADD_FAILURE() << "q5rcfg.exe did not end within 60 s";
      }
      GetExitCodeProcess(pi.hProcess, &r.status);
    }
    r.out = Shared(File(outName.c_str()));
    r.err = Shared(File(errName.c_str()));
    DeleteFileW(File(outName.c_str()).c_str());
    DeleteFileW(File(errName.c_str()).c_str());
    return r;
  }

  static std::string Shared(const std::wstring& path) {
    kit::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    std::string data;
    char buffer[4096];
    DWORD got = 0;
    while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
    return data;
  }

  std::string Text(const wchar_t* name) const { return kit::ReadWholeFile(File(name)).value_or(""); }

  std::string WriteConfig(const q5r::ConfigImage& image) {
    const std::string contents = q5r::FormatConfigFile(q5r::FileInfo{}, image.Bytes());
    EXPECT_TRUE(kit::WriteFileReplacing(File(L"a.cfg"), contents));
    return contents;
  }

  std::wstring dir_;
  int runs_ = 0;
};

TEST_F(Q5rcfgOnCom, DownloadUploadVersionAndMemoryOverCom1) {
  testbed::SerialDecoder decoder(1, "upload-section=mag\nversion=Q5R V3.44   2026-11-30\n",
                                 {"--record=4006381333931", "--record=second"});
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  q5r::ConfigImage image;
  image.SetByte(30, 'X');
  WriteConfig(image);

  Result r = Run({"download", Ansi(L"a.cfg"), "--port", "COM1"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_EQ(r.out, "Download OK!\r\n");
  ASSERT_EQ(decoder.LogLines("download").size(), 1u);
  EXPECT_NE(decoder.LogLines("download")[0].find(" valid"), std::string::npos);

  r = Run({"upload", "-o", Ansi(L"up.cfg"), "--port", "COM1"});
  EXPECT_EQ(r.status, 0u) << r.err;
  q5r::FileInfo info;
  q5r::ConfigImage back;
  ASSERT_EQ(q5r::ParseConfigFile(Text(L"up.cfg"), info, back), q5r::ParseResult::kOk);
  EXPECT_EQ(back.Byte(30), 'X') << "the decoder kept what was downloaded";

  r = Run({"version", "--port", "COM1"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_EQ(r.out, "Q5R V3.44\r\n2026-11-30\r\n");

  r = Run({"memory", "read", "-o", Ansi(L"mem.txt"), "--port", "COM1"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_EQ(Text(L"mem.txt"), "4006381333931\r\nsecond\r\n\r\n");
  r = Run({"memory", "clear", "--port", "COM1"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_EQ(r.out, "Clear Decoder Memory OK!\r\n");
}

TEST_F(Q5rcfgOnCom, FailuresGiveTheProgramsMessagesAndExitStatusAndLeaveTheFile) {
  testbed::SerialDecoder decoder(1, "download-reply=06\nupload-fault=badcheck\n");
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  const std::string contents = WriteConfig(q5r::ConfigImage{});

  Result r = Run({"download", Ansi(L"a.cfg"), "--port", "COM1"});
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(r.err, "Download Failed!\r\n");
  r = Run({"upload", "-o", Ansi(L"a.cfg"), "--port", "COM1"});
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(r.err, "Upload Failed!\r\n");
  EXPECT_EQ(Text(L"a.cfg"), contents);
  r = Run({"download", Ansi(L"a.cfg"), "--port", "COM2"});
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(r.err, "COM 2: not available.\r\n");
  r = Run({"set", Ansi(L"a.cfg"), "Baud Rate=9600"});
  EXPECT_EQ(r.status, 2u);
  EXPECT_NE(r.err.find("ambiguous"), std::string::npos);
  r = Run({"set", Ansi(L"a.cfg"), "bar / Baud Rate=19200"});
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_NE(Text(L"a.cfg"), contents);
  EXPECT_EQ(q5r::FormatConfigFile(q5r::FileInfo{}, q5r::ConfigImage{}.Bytes()), contents);
}

}  // namespace
