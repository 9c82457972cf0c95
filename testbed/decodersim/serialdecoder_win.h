// A simulated decoder on a COM port, for Windows tests under Wine.
//
//   testbed::SerialDecoder decoder(1, "upload-section=mag\n");
//   ASSERT_TRUE(decoder.Ready()) << decoder.Error();
//   ... the program under test opens COM1 and talks to the decoder ...
//   decoder.SetSettings("download-reply=06\n");   // for the next request
//   EXPECT_EQ(decoder.WaitLogLines("download", 1).size(), 1u);
//
// The constructor starts the native simulator (decodersim, built by the
// native tree) as a Linux process of the Wine session, which points COMn of
// the session's prefix at its pseudo-terminal and then reports ready. Its
// files (control, log, pty) live in a folder of their own under the Windows
// temp folder. The destructor removes the control file, which makes the
// simulator put the port back and exit, and waits for that. A test process
// that dies leaves the simulator running only until its time-out.
//
// Settings are decodersim's NAME=VALUE lines (see decodersim.cpp); the log
// lines are decodersim's too ("download <hex> valid", "sent 07", ...).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace testbed {

class SerialDecoder {
 public:
  // `options` are extra command-line options ("--image=...", "--record=...").
  explicit SerialDecoder(int port, const std::string& settings = {}, const std::vector<std::string>& options = {},
                         int timeoutSeconds = 300);
  ~SerialDecoder();
  SerialDecoder(const SerialDecoder&) = delete;
  SerialDecoder& operator=(const SerialDecoder&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }
  // "\\.\COM1": the name to open.
  std::wstring DeviceName() const;

  // Replaces the control file; the simulator reads it before its next answer.
  bool SetSettings(const std::string& settings);
  // The whole log, and its lines that start with `kind` (e.g. "download").
  std::string Log() const;
  std::vector<std::string> LogLines(std::string_view kind = {}) const;
  // The simulator logs after it has answered, so a test that has just seen
  // an answer polls: the lines of `kind` once there are at least `count` of
  // them, or whatever there is after `timeoutMs`.
  std::vector<std::string> WaitLogLines(std::string_view kind, std::size_t count, int timeoutMs = 10000) const;

  // Unix path of the simulator: %KIT_DECODERSIM% when set, else the native
  // tree's build beside this win64 tree.
  static std::string SimulatorPath();

 private:
  std::wstring File(const wchar_t* name) const { return dir_ + name; }

  int port_;
  std::wstring dir_;      // Windows path, ends in a backslash
  std::string unixDir_;   // the same folder as Linux sees it, ends in a slash
  bool ready_ = false;
  bool started_ = false;
  std::string error_;
};

}  // namespace testbed
