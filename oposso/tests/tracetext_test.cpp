#include "tracetext.h"

#include <gtest/gtest.h>

namespace trace {
namespace {

TEST(TraceText, LevelsFromTheRegistryValue) {
  EXPECT_EQ(LevelFrom(std::nullopt), kOff);
  EXPECT_EQ(LevelFrom(0u), kOff);
  EXPECT_EQ(LevelFrom(1u), kCalls);
  EXPECT_EQ(LevelFrom(2u), kWire);
  EXPECT_EQ(LevelFrom(0xFFFFFFFFu), kWire);
}

TEST(TraceText, FileNamesHoldOnlyWhatAFolderTakes) {
  EXPECT_EQ(FileName("KvMsr"), "KvMsr.log");
  EXPECT_EQ(PreviousFileName("KvMsr"), "KvMsr.1.log");
  EXPECT_EQ(FileName("Till 1: front/back"), "Till 1_ front_back.log");
  EXPECT_EQ(FileName("..\\..\\x"), ".._.._x.log");
  EXPECT_EQ(FileName(""), "device.log");
  EXPECT_EQ(FileName(".."), "device.._.log");
  EXPECT_EQ(FileName("a."), "a._.log");
  EXPECT_EQ(FileName(std::string("a\x01\x7f", 3)), "a_\x7f.log");
}

// A name Windows reserves for a device would open that device, with or
// without an extension.
TEST(TraceText, DeviceNamesNeverMakeADevicesFileName) {
  for (const char* reserved : {"COM1", "NUL", "CON", "con", "Aux", "prn", "LPT9", "COM0", "nul.x", "COM1 .txt",
                               "conin$", "CONOUT$", "COM\xC2\xB9"}) {
    EXPECT_EQ(FileName(reserved), "_" + FileName(std::string("x") + reserved).substr(1)) << reserved;
    EXPECT_EQ(PreviousFileName(reserved).front(), '_') << reserved;
  }
  for (const char* fine : {"COM10", "CONSOLE", "NULL", "KvCash1", "LPT", "AUX1"}) {
    EXPECT_EQ(FileName(fine), std::string(fine) + ".log") << fine;
  }
}

TEST(TraceText, ALineHasTimeProcessThreadAndEntry) {
  EXPECT_EQ(Line({2026, 12, 9, 7, 5, 3, 45}, 1234, 88, "Claim(1000) -> 0"),
            "2026-12-09 07:05:03.045 pid 1234 tid 88 Claim(1000) -> 0\r\n");
  EXPECT_EQ(Quoted("a\"b\\c\r\n\xe9"), "\"a\\\"b\\\\c\\x0D\\x0A\\xE9\"");
}

}  // namespace
}  // namespace trace
