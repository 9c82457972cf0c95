// The decoder's wire protocol for download, upload and the firmware version,
// over RS232 and over the keyboard port: what is sent, how replies are
// checked and split, and the texts the Transmit window shows for them.
//
// RS232 (bytes):
//   download frame  02 <01 save | 02 not save> 54 <85 image bytes> 03 <XOR>
//   upload/version  02 80 03 81
//   download reply  first byte 07 = accepted
//   upload reply    L <L config bytes> <12 + 10 version chars> <check>,
//                   XOR of all L + 24 bytes is 0; L = 60 is the magnetic
//                   section, any other L >= 10 the bar-code section.
// Keyboard port (characters written to port 0x60, answers typed back):
//   wake-up "AAAAA" / "BBBBB" / "CCCCC" / "MMMMM" / "NNNNN", answered by S
//   download        172 hex characters: 85 image bytes and their XOR
//   upload reply    145 characters: flag "0"/"1", hex data and check, and
//                   the 22 version characters at the end.
//
// Nothing here touches a port or a window; the Transmit window drives it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image.h"

namespace q5r {

// ---- RS232 ---------------------------------------------------------------

inline constexpr std::size_t kDownloadFrameSize = 90;
using DownloadFrame = std::array<std::uint8_t, kDownloadFrameSize>;

inline constexpr std::array<std::uint8_t, 4> kUploadRequest = {0x02, 0x80, 0x03, 0x81};
inline constexpr std::uint8_t kReplyAccepted = 0x07;  // download and clear replies

// The serial port raises its receive event once this many bytes wait, so a
// shorter upload reply is never taken and ends in the time-out.
inline constexpr std::size_t kUploadReceiveThreshold = 84;
inline constexpr std::uint8_t kMinUploadLength = 10;  // smallest valid L
inline constexpr std::uint8_t kMagUploadLength = 60;  // L of the magnetic section

// Reply time-outs of the serial link, in milliseconds.
inline constexpr int kSerialDownloadTimeoutMs = 3000;
inline constexpr int kSerialUploadTimeoutMs = 7000;

// The 90-byte frame that carries the whole image; its last byte makes the
// XOR of all 90 bytes zero.
DownloadFrame BuildDownloadFrame(const ImageBytes& image, bool saveInDecoder);

// A download reply is accepted when its first byte is 0x07; only that byte
// counts. An empty reply is not accepted.
bool IsDownloadAccepted(std::span<const std::uint8_t> reply);

// InputPos of the Transmit window: the outcome of one serial exchange.
enum class SerialResult { kNothing = 0, kAccepted = 1, kRejected = 2 };

// Which part of the image an upload carries.
enum class ImageSection { kBarDecoder, kMagReader };

// The configuration bytes of an accepted upload reply: 25 bytes for the
// bar-code section (image bytes 0..24), 60 for the magnetic section (25..84).
struct UploadData {
  ImageSection section = ImageSection::kBarDecoder;
  std::vector<std::uint8_t> bytes;
};

// Copies the section into the image; nothing else of the image changes (the
// snapshot neither: an upload shows as an unsaved change only if it differs).
void ApplyUploadData(const UploadData& data, ConfigImage& image);

// A checked serial upload reply. The version lines are the decoder's bytes
// (ANSI characters) as received.
struct SerialUploadReply {
  UploadData data;
  std::string versionFirst;   // 12 characters
  std::string versionSecond;  // 10 characters
};

// Checks and splits the received bytes. Rejected (nullopt) when L is below
// 10, when fewer than the L + 24 bytes the reply announces were received, or
// when the XOR of bytes 0..L+23 is not zero. Bytes after L + 23 are ignored.
// With L below 25 the bar-code section still takes bytes 1..25, the first of
// them being version characters: the decoder never sends such a reply.
std::optional<SerialUploadReply> ParseSerialUploadReply(std::span<const std::uint8_t> received);

// ---- Hexadecimal characters ---------------------------------------------

// Two upper-case hexadecimal characters, high nibble first: 0x3C -> "3C".
std::string HexPair(std::uint8_t value);

// The digit value of a character code: above 96 subtract 32, then above 47
// subtract 48, then above 10 subtract 7. The result is a valid digit when it
// is at most 15: "0".."9", "A".."F" and "a".."f" as expected, but also a few
// others (":" is 10, ";" is 4, "@" is 9, codes 0..22 are 0..15).
unsigned int HexDigitValue(unsigned int characterCode);
inline constexpr unsigned int kMaxHexDigit = 15;

// ---- Keyboard port -------------------------------------------------------

inline constexpr std::uint16_t kKeyboardDataPort = 0x60;
inline constexpr std::uint16_t kInterruptMaskPort = 0x21;  // written 0x00 to release
inline constexpr int kReadyKeyCode = 83;                   // the S key
inline constexpr int kDownloadAckKeyCode = 80;             // the P key
inline constexpr int kReplyEndKeyCode = 126;               // ends an upload wait

inline constexpr int kWakeUpTickMs = 150;
inline constexpr int kMaxWakeUps = 15;  // the 16th tick gives up
inline constexpr int kKeyboardDownloadAckTimeoutMs = 1000;
inline constexpr int kKeyboardUploadTimeoutMs = 5000;

enum class KeyboardOperation { kDownloadSave, kDownloadNotSave, kUpload, kReadMemory, kClearMemory };

struct WakeUpInfo {
  KeyboardOperation operation;
  char letter;  // the wake-up string is five of it
  int pauseMs;  // after every character written in that window
};

inline constexpr std::array<WakeUpInfo, 5> kWakeUps = {{
    {KeyboardOperation::kDownloadSave, 'A', 4},
    {KeyboardOperation::kDownloadNotSave, 'B', 4},
    {KeyboardOperation::kUpload, 'C', 4},  // also the firmware version
    {KeyboardOperation::kReadMemory, 'M', 2},
    {KeyboardOperation::kClearMemory, 'N', 2},
}};

const WakeUpInfo& WakeUpFor(KeyboardOperation operation);
std::string WakeUpString(KeyboardOperation operation);  // e.g. "AAAAA"

// The Transmit window's choice at each tick: upload when a reply is
// requested, otherwise a download with or without "Save".
KeyboardOperation TransmitOperation(bool receiveRequest, bool saveInDecoder);

inline constexpr std::size_t kKeyboardDownloadChars = 172;
inline constexpr std::size_t kKeyboardUploadChars = 145;
inline constexpr std::size_t kVersionChars = 22;  // 12 + 10 at the end of the reply

// The 85 image bytes as hex pairs, then the hex pair of their XOR.
std::string KeyboardDownloadText(const ImageBytes& image);

// A checked keyboard upload reply (the text the capture box holds).
struct KeyboardUploadReply {
  UploadData data;
  std::wstring versionFirst;   // 12 characters
  std::wstring versionSecond;  // 10 characters
};

// Good when the text has exactly 145 characters, starts with "0" (60 bytes,
// magnetic section) or "1" (25 bytes, bar-code section), every digit read
// is valid and the XOR of the data bytes and the check byte is 0. Decoding
// stops at the first invalid digit. With flag "1" the characters between
// the hexadecimal block and the last 22 are not read.
std::optional<KeyboardUploadReply> ParseKeyboardUploadReply(std::wstring_view text);

// ---- Messages ------------------------------------------------------------

// "Get Firmware Version OK!", two CRs, then each version line indented by
// three spaces, the lines separated by LF CR: the message is the same for
// both links. Char is char for the decoder's ANSI bytes, wchar_t for typed
// text.
template <typename Char>
std::basic_string<Char> FirmwareVersionMessage(std::basic_string_view<Char> first,
                                               std::basic_string_view<Char> second) {
  std::basic_string<Char> text;
  for (const char c : std::string_view("Get Firmware Version OK!\r\r   ")) text.push_back(static_cast<Char>(c));
  text.append(first);
  for (const char c : std::string_view("\n\r   ")) text.push_back(static_cast<Char>(c));
  text.append(second);
  return text;
}

inline constexpr const wchar_t* kTransmitTitle = L"CFG Message";
inline constexpr const wchar_t* kUploadTitle = L"Upload Message";
inline constexpr const wchar_t* kUploadQuestion = L"This will replace your current data with reader's data!";
inline constexpr const wchar_t* kKeyboardTimeOut = L"Times Out Error";
inline constexpr const wchar_t* kUploadOk = L"   Upload OK!   ";

// Messages for the outcome of a download or an upload, indexed by InputPos
// (the keyboard link uses entries kAccepted and kRejected).
inline constexpr std::array<const wchar_t*, 3> kDownloadMessages = {L"Time Out Error!", L"Download OK!",
                                                                    L"Download Failed!"};
inline constexpr std::array<const wchar_t*, 3> kUploadMessages = {L"Time Out Error!", kUploadOk,
                                                                  L"Upload Failed!"};

}  // namespace q5r
