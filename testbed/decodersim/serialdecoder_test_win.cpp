// The plumbing the Transmit and memory window tests stand on: a Windows
// program under Wine opens COM1, set up from the link's settings string, and
// talks to the simulated decoder behind it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/linksettings.h"
#include "link/memoryrecords.h"
#include "link/protocol.h"
#include "serialdecoder_win.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class SerialDecoderTest : public ::testing::Test {
 protected:
  void Open(const testbed::SerialDecoder& decoder) {
    port_ = CreateFileW(decoder.DeviceName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                        nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    const auto line = q5r::ParseLineSettings(q5r::LineSettingsText("9600", "N,8,1 "));
    ASSERT_TRUE(line);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port_, &dcb));
    dcb.BaudRate = line->baud;
    dcb.ByteSize = static_cast<BYTE>(line->dataBits);
    dcb.Parity = NOPARITY;
    dcb.StopBits = line->stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 1500, 0, 1000};  // a read ends 1.5 s after it starts
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  }
  void Write(std::span<const std::uint8_t> bytes) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
  }
  Bytes Read(std::size_t count) {
    Bytes bytes;
    for (int pass = 0; pass < 20 && bytes.size() < count; ++pass) {
      std::uint8_t buffer[256];
      DWORD got = 0;
      if (!ReadFile(port_, buffer, static_cast<DWORD>(std::min(sizeof buffer, count - bytes.size())), &got,
                    nullptr) ||
          got == 0) {
        break;
      }
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(SerialDecoderTest, UploadDownloadAndSettingsChangesOverCom1) {
  testbed::SerialDecoder decoder(1);
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  Open(decoder);

  Write(q5r::kUploadRequest);
  const auto reply = q5r::ParseSerialUploadReply(Read(q5r::kUploadReceiveThreshold));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->data.section, q5r::ImageSection::kMagReader);
  EXPECT_EQ(reply->versionFirst, "Q5R V2.10   ");

  Write(q5r::BuildDownloadFrame(q5r::kDefaultImage, true));
  EXPECT_TRUE(q5r::IsDownloadAccepted(Read(1)));
  const auto downloads = decoder.WaitLogLines("download", 1);
  ASSERT_EQ(downloads.size(), 1u) << decoder.Log();
  EXPECT_EQ(downloads[0].substr(0, 17), "download 020154" + q5r::HexPair('A'));
  EXPECT_EQ(downloads[0].substr(189), " valid");

  ASSERT_TRUE(decoder.SetSettings("download-reply=06\r\n"));
  Write(q5r::BuildDownloadFrame(q5r::kDefaultImage, false));
  EXPECT_EQ(Read(1), Bytes{0x06});
}

// COM1 again: a new simulator takes the port over from the one before.
TEST_F(SerialDecoderTest, MemoryReadWithAcknowledgementsOverCom1) {
  testbed::SerialDecoder decoder(1, "", {"--record=4006381333931", "--record=with a space"});
  ASSERT_TRUE(decoder.Ready()) << decoder.Error();
  Open(decoder);

  q5r::MemoryAssembler assembler;
  std::string text;
  Write(q5r::kReadMemoryRequest);
  q5r::BlockStatus status = q5r::BlockStatus::kNothing;
  do {
    status = assembler.AddBlock(Read(q5r::kMemoryBlockSize), text);
    const auto ack = static_cast<std::uint8_t>(q5r::BlockAcknowledgement(status));
    Write(std::span(&ack, 1));
  } while (status == q5r::BlockStatus::kMore);
  EXPECT_EQ(status, q5r::BlockStatus::kEnd);
  EXPECT_EQ(text, "4006381333931\r\nwith a space\r\n");
  EXPECT_EQ(decoder.WaitLogLines("ack", 1), std::vector<std::string>{"ack P"}) << decoder.Log();
}

}  // namespace
