// A simulated card reader on a COM port, for Windows tests under Wine:
//
//   testbed::SerialCardReader reader(3);
//   ASSERT_TRUE(reader.Ready()) << reader.Error();
//   reader.Swipe(";0123456789=25121010000?");     // the line and a CR
//   reader.WaitSent(1);                           // its last byte is out
//
// It starts cardsim (built by the native tree) through PtySimulator.
#pragma once

#include <string>
#include <vector>

#include "ptysimulator_win.h"

namespace testbed {

class SerialCardReader : public PtySimulator {
 public:
  explicit SerialCardReader(int port, const std::vector<std::string>& options = {}, int timeoutSeconds = 600)
      : PtySimulator(SimulatorPath(), "cardsim", port, {}, options, timeoutSeconds) {}

  // Appends one command line to the control file (see cardsim.cpp).
  bool Command(const std::string& line);
  bool Swipe(const std::string& text) { return Command("swipe " + text); }
  // Polls until `count` commands were sent in all, at most `timeoutMs`.
  bool WaitSent(std::size_t count, int timeoutMs = 10000) const;
  std::size_t Sent() const { return LogLines("sent").size(); }

  // %KIT_CARDSIM% when set, else the native tree's cardsim.
  static std::string SimulatorPath();
};

}  // namespace testbed
