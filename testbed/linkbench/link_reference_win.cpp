// link_reference: the plainest possible client of the decoder's RS232
// protocol, the yardstick for Q5RSetup's link overhead. It does one
// operation the way Q5RSetup does it (open COMn with the same line settings,
// send the request, take the reply, acknowledge memory blocks, close the
// port) with blocking ReadFile/WriteFile and nothing else: no window, no
// wait loop, no message.
//
//   link_reference --port N --op download|upload|version|read|clear
//
// Prints "ms <time>" (from opening the port to closing it) and exits 0 when
// the decoder answered as expected, else prints "error: ..." and exits 1.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "handle_win.h"
#include "link/linksettings.h"
#include "link/memoryrecords.h"
#include "link/protocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr DWORD kReadTimeoutMs = 3000;

kit::UniqueHandle OpenPort(int port) {
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(port);
  kit::UniqueHandle h(
      CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h) return h;
  const auto line = q5r::ParseLineSettings(q5r::LineSettingsText("9600", "N,8,1 "));
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!line || !GetCommState(h.get(), &dcb)) return {};
  dcb.BaudRate = line->baud;
  dcb.ByteSize = static_cast<BYTE>(line->dataBits);
  dcb.Parity = NOPARITY;
  dcb.StopBits = line->stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  COMMTIMEOUTS timeouts{0, 0, kReadTimeoutMs, 0, 1000};  // a read waits for all it asks, up to 3 s
  if (!SetCommState(h.get(), &dcb) || !SetCommTimeouts(h.get(), &timeouts)) return {};
  return h;
}

bool Write(HANDLE port, std::span<const std::uint8_t> bytes) {
  DWORD written = 0;
  return WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

Bytes Read(HANDLE port, std::size_t count) {
  Bytes bytes(count);
  DWORD got = 0;
  if (!ReadFile(port, bytes.data(), static_cast<DWORD>(count), &got, nullptr)) got = 0;
  bytes.resize(got);
  return bytes;
}

// One operation on an open port; an empty string on success.
std::string Exchange(HANDLE port, const std::string& op) {
  if (op == "download") {
    if (!Write(port, q5r::BuildDownloadFrame(q5r::kDefaultImage, true))) return "write failed";
    return q5r::IsDownloadAccepted(Read(port, 1)) ? "" : "download not accepted";
  }
  if (op == "upload" || op == "version") {
    if (!Write(port, q5r::kUploadRequest)) return "write failed";
    return q5r::ParseSerialUploadReply(Read(port, q5r::kUploadReceiveThreshold)) ? "" : "bad upload reply";
  }
  if (op == "clear") {
    if (!Write(port, q5r::kClearMemoryRequest)) return "write failed";
    return Read(port, 1) == Bytes{q5r::kReplyAccepted} ? "" : "clear not accepted";
  }
  if (op == "read") {
    if (!Write(port, q5r::kReadMemoryRequest)) return "write failed";
    q5r::MemoryAssembler assembler;
    std::string text;
    q5r::BlockStatus status = q5r::BlockStatus::kNothing;
    for (int block = 0; block < q5r::kMaxMemoryBlocks; ++block) {
      const Bytes data = Read(port, q5r::kMemoryBlockSize);
      if (data.size() != q5r::kMemoryBlockSize) return "memory block timed out";
      status = assembler.AddBlock(data, text);
      const auto ack = static_cast<std::uint8_t>(q5r::BlockAcknowledgement(status));
      if (!Write(port, std::span(&ack, 1))) return "write failed";
      if (status != q5r::BlockStatus::kMore) break;
    }
    return status == q5r::BlockStatus::kEnd ? "" : "memory read did not end";
  }
  return "unknown operation " + op;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 1;
  std::string op;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--port") == 0) port = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--op") == 0) op = argv[i + 1];
  }
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  {
    kit::UniqueHandle h = OpenPort(port);
    error = h ? Exchange(h.get(), op) : "cannot open COM" + std::to_string(port);
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!error.empty()) {
    std::printf("error: %s\n", error.c_str());
    return 1;
  }
  std::printf("ms %.2f\n", ms);
  return 0;
}
