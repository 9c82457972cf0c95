// The configuration file (*.cfg): 92 CR LF lines of 8-bit ANSI text.
//
//   line 1        magic "oxet"
//   lines 2..5    device name, user name, building date, description (verbatim)
//   lines 6, 7    link port, link mode (number lines)
//   lines 8..92   image bytes 0..84 (number lines)
//
// A number line is " <digits> " ("-" replaces the first blank when negative).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image.h"

namespace q5r {

inline constexpr std::string_view kConfigMagic = "oxet";
inline constexpr int kConfigFileLines = 92;

// User information and link settings stored beside the image. Texts are bytes
// in the ANSI code page and are carried through unchanged.
struct FileInfo {
  std::string deviceName = "Device Name";
  std::string userName = "User's Name";
  std::string buildingDate;
  std::string description = "Your description about this configuration file";
  std::int16_t linkPort = 1;  // 1-based serial port number
  std::int16_t linkMode = 1;  // 1 = RS232, anything else = keyboard port
};

// " 65 " / "-3 ": the number line body, without CR LF.
std::string FormatNumberLine(int value);

// The whole file, byte for byte.
std::string FormatConfigFile(const FileInfo& info, const ImageBytes& image);

enum class ParseResult { kOk, kNotConfigFile };

// Reads a file's contents into `info` and `image`. A wrong first line leaves
// both untouched and returns kNotConfigFile. Otherwise every line present is
// applied in order; missing lines and numbers that do not fit their field
// (image byte outside 0..255, link field outside 16-bit) keep the old value.
// On kOk the image's snapshot equals the image.
ParseResult ParseConfigFile(std::string_view contents, FileInfo& info, ConfigImage& image);

}  // namespace q5r
