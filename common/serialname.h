// Serial port names as users write them ("COM3", "com12") and as Windows
// opens them. Ports past COM9 open only through the device namespace
// ("\\.\COM12"); a bare "COM12" is a file in the current folder. Every
// opener of a serial port in the kit goes through here. Portable.
#pragma once

#include <string>
#include <string_view>

namespace kit {

// n for "COMn" or "\\.\COMn" (any letter case, n from 1 to 99999 without a
// leading zero); 0 for any other name.
int ComPortNumber(std::string_view name);

// The name to open a port by: "\\.\COMn" for a name ComPortNumber takes,
// any other name (a device path already, or no port at all) as it stands.
std::string SerialDeviceName(std::string_view name);

}  // namespace kit
