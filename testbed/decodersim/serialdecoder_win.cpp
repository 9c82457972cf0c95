#include "serialdecoder_win.h"

namespace testbed {

std::string SerialDecoder::SimulatorPath() {
  return testbed::SimulatorPath("KIT_DECODERSIM", KIT_DECODERSIM_DEFAULT);
}

}  // namespace testbed
