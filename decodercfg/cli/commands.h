// q5rcfg: the decoder's configuration from the command line. The commands,
// their options, their output and their exit status live here, free of any
// platform; main_posix.cpp and main_win.cpp give them files, a terminal
// and a serial port.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/transfer.h"
#include "textout.h"

namespace q5r::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the decoder, the port or a file failed
inline constexpr int kExitUsage = 2;   // wrong command line, unknown option or value
// diff answers as diff(1) does: 0 the same, 1 different, 2 trouble (a file
// that cannot be read, wrong usage).
inline constexpr int kDiffSame = 0;
inline constexpr int kDiffDifferent = 1;
inline constexpr int kDiffTrouble = 2;

using kit::TextOut;

// What the commands need of the system they run on.
class Environment {
 public:
  virtual ~Environment() = default;
  virtual TextOut& Out() = 0;
  virtual TextOut& Err() = 0;
  // Progress lines are drawn only on a terminal.
  virtual bool ErrIsTerminal() = 0;
  // The file's bytes, or nothing when it cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // Writes through a temporary file beside the target and then replaces
  // it; on failure the old file is left as it was.
  virtual bool WriteFileReplacing(const std::string& path, std::string_view data) = 0;
  // Opens `port` with a settings string such as "9600,N,8,1 ": a port
  // number for "COMn" (`number` n), or a device path (`number` 0).
  // nullptr when it cannot be opened or set up.
  virtual std::unique_ptr<SerialLine> OpenPort(const std::string& port, int number, const std::string& settings) = 0;
};

// Runs one command line (without the program name); returns the exit status.
int Run(const std::vector<std::string>& args, Environment& env);

// The program's exit status once its output is flushed: results that could
// not all be written (a full disk, a closed pipe) are a failure, trouble
// (2) for diff, whose 1 means "different", 1 for any other command.
int FinalStatus(const std::vector<std::string>& args, int status, bool outputFailed);

}  // namespace q5r::cli
