#include "serialname.h"

#include <gtest/gtest.h>

namespace kit {
namespace {

TEST(SerialName, ComPortsOpenThroughTheDeviceNamespace) {
  EXPECT_EQ(SerialDeviceName("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(SerialDeviceName("COM12"), "\\\\.\\COM12");
  EXPECT_EQ(SerialDeviceName("com256"), "\\\\.\\COM256");
  EXPECT_EQ(SerialDeviceName("\\\\.\\COM12"), "\\\\.\\COM12");
  EXPECT_EQ(SerialDeviceName("\\\\.\\cOm3"), "\\\\.\\COM3");
  // Anything else stands as it is: other devices, files, nothing.
  for (const char* other : {"", "COM", "COM0", "COM012", "COM1a", "COM 1", "LPT1", "Kbd Msr Selected",
                            "\\\\.\\Tillport", "COM123456", "/dev/ttyS0"}) {
    EXPECT_EQ(SerialDeviceName(other), other) << other;
    EXPECT_EQ(ComPortNumber(other), 0) << other;
  }
  EXPECT_EQ(ComPortNumber("Com99999"), 99999);
}

}  // namespace
}  // namespace kit
