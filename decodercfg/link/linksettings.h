// Rules of the link option buttons shared by the Transmit and memory
// windows, and the serial line settings they make.
//
// LinkFormat is a field of exactly six characters: parity ("N"), a comma,
// data bits ("7"/"8"), a comma, stop bits ("1"/"2") and a trailing space.
// The settings string is LinkBaud, a comma and LinkFormat: "9600,N,8,1 ".
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace q5r {

inline constexpr std::size_t kLinkFormatSize = 6;

// Captions of the optBaud buttons, which are also the LinkBaud texts.
inline constexpr std::array<const char*, 5> kBaudTexts = {"1200", "2400", "4800", "9600", "19200"};
inline constexpr int kDefaultBaudOption = 3;  // "9600"

// optBaud click: the text for an option index; an index outside 0..4 gives
// "9600".
std::string BaudTextForOption(int index);
// The option showing `linkBaud`; a text that is none of them shows "9600".
int BaudOptionForText(std::string_view linkBaud);

// optDatabits click: characters 1..4 become "N,7," (index 0) or "N,8,"
// (any other index); stop bits and the trailing space stay.
std::string WithDataBits(std::string_view linkFormat, int index);
// optStopbits click: character 5 becomes "1" (index 0) or "2" (any other).
std::string WithStopBits(std::string_view linkFormat, int index);
// The options shown for a format: 0 when character 3 is "7" (character 5
// is "1"), else 1.
int DataBitsOption(std::string_view linkFormat);
int StopBitsOption(std::string_view linkFormat);

// "9600,N,8,1 ". LinkFormat is taken as its fixed six characters: shorter
// text is padded with spaces, longer text cut.
std::string LineSettingsText(std::string_view linkBaud, std::string_view linkFormat);

// A settings string read as numbers for the serial port.
struct LineSettings {
  unsigned long baud = 0;
  char parity = 'N';  // N, E, O, M or S
  int dataBits = 8;   // 4..8
  int stopBits = 1;   // 1 or 2
};

// nullopt when the string is not "<baud>,<parity>,<data>,<stop>" with an
// optional trailing space: a port set up from it fails ("not available").
std::optional<LineSettings> ParseLineSettings(std::string_view settings);

// "COM 2: not available." for port 2, "COM-1: not available." for -1.
std::wstring PortUnavailableMessage(int port);

}  // namespace q5r
