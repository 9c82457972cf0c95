// A simulated decoder on a COM port, for Windows tests under Wine.
//
//   testbed::SerialDecoder decoder(1, "upload-section=mag\n");
//   ASSERT_TRUE(decoder.Ready()) << decoder.Error();
//   ... the program under test opens COM1 and talks to the decoder ...
//   decoder.SetSettings("download-reply=06\n");   // for the next request
//   EXPECT_EQ(decoder.LogLines("download").size(), 1u);
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

#include <string>
#include <vector>

#include "ptysimulator_win.h"

namespace testbed {

class SerialDecoder : public PtySimulator {
 public:
  // `options` are extra command-line options ("--image=...", "--record=...").
  explicit SerialDecoder(int port, const std::string& settings = {}, const std::vector<std::string>& options = {},
                         int timeoutSeconds = 300)
      : PtySimulator(SimulatorPath(), "decodersim", port, settings, options, timeoutSeconds) {}

  // Unix path of the simulator: %KIT_DECODERSIM% when set, else the native
  // tree's build beside this win64 tree.
  static std::string SimulatorPath();
};

}  // namespace testbed
