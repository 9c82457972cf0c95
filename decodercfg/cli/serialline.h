// The serial line of q5rcfg, one side per platform: POSIX termios
// (serialline_posix.cpp) and the kit's Win32 serial port (serialline_win.cpp).
#pragma once

#include <memory>
#include <string>

#include "link/transfer.h"

namespace q5r::cli {

// Opens `port` ("COMn" with `number` n, or a device path with `number` 0)
// with a settings string such as "9600,N,8,1 "; nullptr when the port
// cannot be opened or set up.
std::unique_ptr<SerialLine> OpenSerialLine(const std::string& port, int number, const std::string& settings);

}  // namespace q5r::cli
