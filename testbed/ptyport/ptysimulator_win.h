// A simulated device on a COM port, for Windows tests under Wine: starts a
// native simulator (a Linux program of the Wine session built on PtyPort)
// that points COMn of the session's prefix at its pseudo-terminal, and
// talks to it through files in a folder of its own under the Windows temp
// folder: "control" (written by the test), "log" (written by the simulator)
// and "pty" (there while the simulator runs). The destructor removes the
// control file, which makes the simulator put the port back and exit, and
// waits for that. A test process that dies leaves the simulator running
// only until its time-out.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace testbed {

class PtySimulator {
 public:
  // `simulator`: the Linux path of the program; `name` names its folder.
  // The program gets --pty-file, --log, --control, --wine-port=COMn and
  // --timeout, then `options`.
  PtySimulator(const std::string& simulator, const std::string& name, int port, const std::string& settings,
               const std::vector<std::string>& options, int timeoutSeconds);
  ~PtySimulator();
  PtySimulator(const PtySimulator&) = delete;
  PtySimulator& operator=(const PtySimulator&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }
  // "\\.\COM1": the name to open.
  std::wstring DeviceName() const;

  // Replaces the control file; the simulator reads it again.
  bool SetSettings(const std::string& settings);
  // The whole log, and its lines that start with `kind`.
  std::string Log() const;
  std::vector<std::string> LogLines(std::string_view kind = {}) const;
  // A simulator logs after it has answered, so a test that has just seen
  // an answer polls: the lines of `kind` once there are at least `count` of
  // them, or whatever there is after `timeoutMs`.
  std::vector<std::string> WaitLogLines(std::string_view kind, std::size_t count, int timeoutMs = 10000) const;
  // The folder's files, as Windows paths.
  std::wstring File(const wchar_t* name) const { return dir_ + name; }

 private:
  int port_;
  std::wstring dir_;      // Windows path, ends in a backslash
  std::string unixDir_;   // the same folder as Linux sees it, ends in a slash
  bool ready_ = false;
  bool started_ = false;
  std::string error_;
};

// The Linux path of a Windows path of the Wine session ("" outside Wine).
std::string UnixPath(const std::wstring& windowsPath);
// Makes `link` a Linux symbolic link to `target` (both Windows paths), as
// somebody with a shell on the machine might; true once it is there.
bool MakeLinuxSymlink(const std::wstring& target, const std::wstring& link);

// The value of the environment `variable` when set, else `fallback`.
std::string SimulatorPath(const char* variable, const char* fallback);

}  // namespace testbed
