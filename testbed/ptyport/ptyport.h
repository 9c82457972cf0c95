// The one way the kit's device simulators put a pseudo-terminal behind a
// COM port of a Wine session (Linux side). A simulator opens the pty, links
// COMn of $WINEPREFIX to its slave side, publishes the slave path in a file
// the Windows test waits for, and puts everything back at exit.
//
//   testbed::PtyPort pty;
//   if (!pty.Open(error) || !pty.LinkWinePort("COM3", error) || !pty.Publish(ptyFile, error)) ...
//   write(pty.Master(), ...);     // bytes the program reads from COM3
//   pty.Close();                  // link and pty file taken back
#pragma once

#include <string>

namespace testbed {

class PtyPort {
 public:
  PtyPort() = default;
  ~PtyPort() { Close(); }
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // Opens the pty in raw mode with a non-blocking master. The slave stays
  // open here too, so the master is usable while the program has its port
  // closed.
  bool Open(std::string& error);
  // Points $WINEPREFIX/dosdevices/<port lower-case> at the slave (at once,
  // no wineserver restart); the old link is put back by Close.
  bool LinkWinePort(const std::string& port, std::string& error);
  // Writes the slave path to `file` atomically; Close removes the file.
  bool Publish(const std::string& file, std::string& error);
  void Close();

  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string linkPath_, oldLinkTarget_, ptyFile_;
  bool linkMade_ = false;
  bool hadOldLink_ = false;
};

// Standard input, output and error to /dev/null, so whoever started the
// simulator is not kept waiting on a pipe.
void DetachStdio();

}  // namespace testbed
