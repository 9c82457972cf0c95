// decodersim: a Q5R decoder on the far end of a serial line, for tests.
//
// It opens a pseudo-terminal, publishes the path of its slave side (the
// "serial port" a Wine prefix maps to COMn) and answers the decoder's RS232
// protocol on the master side: download frames, the upload/version request,
// memory reads with their block acknowledgements, and the clear request.
// Every frame it receives and every reply it sends goes to a log, one line
// each, for the test to read.
//
//   decodersim [--pty-file=FILE] [--wine-port=COMn] [--log=FILE]
//              [--control=FILE] [--timeout=SECONDS] [--image=HEX]
//              [--SETTING=VALUE ...]
//
//   --pty-file=FILE   written (atomically) with the slave path, e.g.
//                     "/dev/pts/3", once the simulator is ready; removed at
//                     exit. A test waits for it to appear.
//   --wine-port=COMn  points $WINEPREFIX/dosdevices/comn at the slave, so
//                     that COMn of the running Wine session reaches the
//                     simulator at once (no wineserver restart); the old
//                     link is put back at exit. Done before --pty-file.
//   --log=FILE        appended, one line per event (see below). With a log,
//                     standard input and output go to /dev/null once the
//                     simulator is ready: whoever started it is not kept
//                     waiting on a pipe.
//   --control=FILE    SETTING=VALUE lines (# comments, CR LF allowed), read
//                     again before every answer, so a test can change the
//                     behaviour between operations by rewriting the file
//                     (in place or by rename). Created empty when missing;
//                     removing it makes the simulator exit.
//   --timeout=SECONDS exit after this long whatever happens (default 600).
//   --image=HEX       the decoder's configuration at start (170 hex
//                     digits); default the factory block.
// The simulator also exits on SIGTERM, SIGINT and SIGHUP.
//
// Settings (command line as --name=value, control file as name=value; the
// file's lines override the command line). Byte values are hex ("07",
// "0x15") or "none" for no answer at all.
//   baud=9600            pace replies at 10 bits per byte; 0 = no pacing
//   turnaround-ms=20     pause between a request and its answer, as the
//                        decoder's own processing time. A program that
//                        clears its receive buffer just after writing its
//                        request (as Q5RSetup does) loses an answer that
//                        comes sooner; a pty delivers at once.
//   delay-ms=0           extra pause before every answer (late replies)
//   download-reply=07    answer to a good download frame
//   bad-frame-reply=15   answer to a frame with a bad header, trailer or check
//   upload-section=mag   mag: L = 60 and image bytes 25..84; bar: image
//                        bytes 0..24 and L = 25 unless upload-length says
//   upload-length=N      L of the upload reply (configuration bytes beyond
//                        the section are 0); replies under 84 bytes never
//                        reach the program's receive threshold
//   upload-fault=none    badcheck: wrong check byte; short: last byte not
//                        sent; silence: no reply
//   version=TEXT         the 22 version characters (12 + 10), space padded
//   record=TEXT          one memory record (repeat for more); the first
//                        record= line of the control file replaces the
//                        command line's records
//   memory-stream=HEX    the raw record stream instead of the records (no
//                        end marker is added)
//   bad-record=K         record K (1-based) gets a wrong check byte
//   bad-block=N          block N (1-based) gets a wrong check byte
//   silent-block=N       block N is not sent (the program times out)
//   ack-timeout-ms=5000  how long to wait for "S", "P" or "E"
//   clear-reply=07       answer to the clear request; 07 empties the memory
// The memory (records, stream) and the image are the decoder's state: a
// download replaces the image and a clear empties the memory; the control
// file loads new memory contents only when its record lines change.
//
// Log lines (hex in upper case, no spaces):
//   download <90 bytes> valid|invalid   the frame received
//   upload <4 bytes> / read <4 bytes> / clear <4 bytes>
//   bad-request <4 bytes>               02 and a known kind, wrong bytes
//   ack S|P|E / ack-timeout             block acknowledgement
//   junk <bytes> / partial <bytes>      bytes outside any frame, a frame
//                                       cut short (1 s of silence)
//   sent <bytes>                        every reply, one line per reply or
//                                       block
//   bad-setting <text>                  a line it did not understand
//   read-abandoned                      a byte other than S, P or E came
//                                       during a read (taken as a frame)
//   ready <slave path> / exit / error <text>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "image.h"
#include "ptyport.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

volatile sig_atomic_t g_signalled = 0;

void OnSignal(int) { g_signalled = 1; }

// ---- Settings --------------------------------------------------------------

struct Settings {
  unsigned long baud = 9600;
  int turnaroundMs = 20;
  int delayMs = 0;
  std::optional<std::uint8_t> downloadReply = 0x07;
  std::optional<std::uint8_t> badFrameReply = 0x15;
  bool uploadMag = true;
  int uploadLength = -1;  // from the section
  std::string uploadFault = "none";
  std::string version = "Q5R V2.10   2026-12-01";
  std::vector<std::string> records;
  std::string memoryStreamHex;  // empty: records
  int badRecord = 0;
  int badBlock = 0;
  int silentBlock = 0;
  int ackTimeoutMs = 5000;
  std::optional<std::uint8_t> clearReply = 0x07;
};

std::optional<Bytes> ParseHex(std::string_view text) {
  Bytes bytes;
  int high = -1;
  for (const char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c == ' ') continue;
    else return std::nullopt;
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

std::string Hex(const std::uint8_t* data, std::size_t size) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(digits[data[i] >> 4]);
    text.push_back(digits[data[i] & 15]);
  }
  return text;
}
std::string Hex(const Bytes& bytes) { return Hex(bytes.data(), bytes.size()); }

bool ParseInt(std::string_view text, int& out) {
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

// "07", "0x07" or "none".
bool ParseByte(std::string_view text, std::optional<std::uint8_t>& out) {
  if (text == "none") {
    out.reset();
    return true;
  }
  if (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X") text.remove_prefix(2);
  const auto bytes = ParseHex(text);
  if (!bytes || bytes->size() != 1) return false;
  out = (*bytes)[0];
  return true;
}

// Applies one setting; false for an unknown name or a bad value.
bool ApplySetting(Settings& s, std::string_view name, std::string_view value, bool& recordsFromHere) {
  int n = 0;
  if (name == "baud") {
    if (!ParseInt(value, n)) return false;
    s.baud = static_cast<unsigned long>(n);
  } else if (name == "turnaround-ms") {
    return ParseInt(value, s.turnaroundMs);
  } else if (name == "delay-ms") {
    return ParseInt(value, s.delayMs);
  } else if (name == "download-reply") {
    return ParseByte(value, s.downloadReply);
  } else if (name == "bad-frame-reply") {
    return ParseByte(value, s.badFrameReply);
  } else if (name == "upload-section") {
    if (value != "mag" && value != "bar") return false;
    s.uploadMag = value == "mag";
  } else if (name == "upload-length") {
    if (!ParseInt(value, n) || n > 255) return false;
    s.uploadLength = n;
  } else if (name == "upload-fault") {
    if (value != "none" && value != "badcheck" && value != "short" && value != "silence") return false;
    s.uploadFault = value;
  } else if (name == "version") {
    s.version = value;
  } else if (name == "record") {
    if (!recordsFromHere) s.records.clear();
    recordsFromHere = true;
    s.records.emplace_back(value);
  } else if (name == "memory-stream") {
    if (!ParseHex(value)) return false;
    s.memoryStreamHex = value;
  } else if (name == "bad-record") {
    return ParseInt(value, s.badRecord);
  } else if (name == "bad-block") {
    return ParseInt(value, s.badBlock);
  } else if (name == "silent-block") {
    return ParseInt(value, s.silentBlock);
  } else if (name == "ack-timeout-ms") {
    return ParseInt(value, s.ackTimeoutMs);
  } else if (name == "clear-reply") {
    return ParseByte(value, s.clearReply);
  } else {
    return false;
  }
  return true;
}

// ---- The simulator ---------------------------------------------------------

class Simulator {
 public:
  bool Setup(int argc, char** argv);
  void Run();
  void Cleanup();

 private:
  void Log(const std::string& line);
  bool Fail(const std::string& message);  // false, for returning
  bool ShouldExit();
  void ReloadSettings();
  void LoadMemory();

  void Pause(int ms);
  void Send(const Bytes& reply);
  void SendByte(const std::optional<std::uint8_t>& reply);
  // Waits up to `ms` for one byte from the program.
  std::optional<std::uint8_t> ReadByte(int ms);

  void HandleFrame(const Bytes& frame);
  void Download(const Bytes& frame);
  void Upload();
  void ReadMemory();
  void ClearMemory();

  // Options.
  std::string ptyFile_, winePort_, logFile_, controlFile_;
  int timeoutSeconds_ = 600;
  Settings base_;
  Settings now_;

  // Decoder state.
  q5r::ImageBytes image_ = q5r::kDefaultImage;
  Bytes memory_;                 // record stream, terminator included
  std::string loadedMemoryKey_;  // the settings the memory was loaded from

  // Line state.
  testbed::PtyPort pty_;
  int master_ = -1;
  std::string slavePath_;
  Clock::time_point deadline_;
  Bytes pending_;
  Clock::time_point lastByte_;
};

void Simulator::Log(const std::string& line) {
  if (logFile_.empty()) return;
  if (FILE* f = std::fopen(logFile_.c_str(), "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

bool Simulator::Fail(const std::string& message) {
  std::fprintf(stderr, "decodersim: %s\n", message.c_str());
  Log("error " + message);
  return false;
}

bool Simulator::Setup(int argc, char** argv) {
  bool recordsFromHere = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const std::size_t eq = arg.find('=');
    if (arg.substr(0, 2) != "--" || eq == std::string_view::npos) return Fail("bad argument " + std::string(arg));
    const std::string_view name = arg.substr(2, eq - 2);
    const std::string_view value = arg.substr(eq + 1);
    if (name == "pty-file") {
      ptyFile_ = value;
    } else if (name == "wine-port") {
      winePort_ = value;
    } else if (name == "log") {
      logFile_ = value;
    } else if (name == "control") {
      controlFile_ = value;
    } else if (name == "timeout") {
      if (!ParseInt(value, timeoutSeconds_)) return Fail("bad --timeout");
    } else if (name == "image") {
      const auto bytes = ParseHex(value);
      if (!bytes || bytes->size() != image_.size()) return Fail("--image needs 85 bytes");
      std::copy(bytes->begin(), bytes->end(), image_.begin());
    } else if (!ApplySetting(base_, name, value, recordsFromHere)) {
      return Fail("bad setting " + std::string(arg));
    }
  }
  deadline_ = Clock::now() + std::chrono::seconds(timeoutSeconds_);

  if (!controlFile_.empty()) {
    struct stat st;
    if (stat(controlFile_.c_str(), &st) != 0) std::ofstream(controlFile_).flush();
  }
  ReloadSettings();

  std::string error;
  if (!pty_.Open(error)) return Fail(error);
  master_ = pty_.Master();
  slavePath_ = pty_.SlavePath();
  if (!winePort_.empty() && !pty_.LinkWinePort(winePort_, error)) return Fail(error);
  if (!ptyFile_.empty() && !pty_.Publish(ptyFile_, error)) return Fail(error);
  Log("ready " + slavePath_);
  if (!logFile_.empty()) {
    testbed::DetachStdio();
  } else {
    std::printf("%s\n", slavePath_.c_str());
    std::fflush(stdout);
  }
  return true;
}

void Simulator::Cleanup() {
  pty_.Close();
  Log("exit");
}

bool Simulator::ShouldExit() {
  if (g_signalled || Clock::now() >= deadline_) return true;
  if (controlFile_.empty()) return false;
  struct stat st;
  return stat(controlFile_.c_str(), &st) != 0;
}

void Simulator::ReloadSettings() {
  now_ = base_;
  if (!controlFile_.empty()) {
    std::ifstream in(controlFile_, std::ios::binary);
    std::string line;
    bool recordsFromHere = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '#') continue;
      const std::size_t eq = line.find('=');
      if (eq == std::string::npos ||
          !ApplySetting(now_, std::string_view(line).substr(0, eq), std::string_view(line).substr(eq + 1),
                        recordsFromHere)) {
        Log("bad-setting " + line);
      }
    }
  }
  LoadMemory();
}

// Builds the record stream when the memory settings differ from the ones
// it was last built from; a clear in between is thereby kept.
void Simulator::LoadMemory() {
  std::string key = now_.memoryStreamHex + "\n" + std::to_string(now_.badRecord);
  for (const std::string& r : now_.records) key += "\n" + r;
  if (key == loadedMemoryKey_) return;
  loadedMemoryKey_ = key;
  memory_.clear();
  if (!now_.memoryStreamHex.empty()) {
    memory_ = *ParseHex(now_.memoryStreamHex);
    return;
  }
  int number = 0;
  for (const std::string& r : now_.records) {
    const std::string text = r.substr(0, 253);
    std::uint8_t check = 0;
    memory_.push_back(static_cast<std::uint8_t>(text.size() + 2));
    for (const char c : text) {
      memory_.push_back(static_cast<std::uint8_t>(c));
      check ^= static_cast<std::uint8_t>(c);
    }
    if (++number == now_.badRecord) check ^= 0x5A;
    memory_.push_back(check);
  }
  memory_.push_back(0);
}

void Simulator::Pause(int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < until && !g_signalled) std::this_thread::sleep_until(std::min(until, Clock::now() + std::chrono::milliseconds(50)));
}

void Simulator::Send(const Bytes& reply) {
  Log("sent " + Hex(reply));
  const auto byteTime = now_.baud ? std::chrono::microseconds(10'000'000 / now_.baud) : std::chrono::microseconds(0);
  auto next = Clock::now();
  for (std::size_t i = 0; i < reply.size();) {
    if (now_.baud) {
      std::this_thread::sleep_until(next);
      next += byteTime;
    }
    const std::size_t count = now_.baud ? 1 : reply.size() - i;
    const ssize_t n = write(master_, reply.data() + i, count);
    if (n > 0) {
      i += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      Log("write-error " + std::string(std::strerror(errno)));
      return;
    } else {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 50);
    }
  }
}

void Simulator::SendByte(const std::optional<std::uint8_t>& reply) {
  if (!reply) return;
  Pause(now_.turnaroundMs + now_.delayMs);
  Send(Bytes{*reply});
}

std::optional<std::uint8_t> Simulator::ReadByte(int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!ShouldExit()) {
    if (!pending_.empty()) {
      const std::uint8_t b = pending_.front();
      pending_.erase(pending_.begin());
      return b;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::min<long long>(left, 100))) > 0 && (p.revents & POLLIN)) {
      std::uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) {
        pending_.insert(pending_.end(), buffer, buffer + n);
        lastByte_ = Clock::now();
      }
    }
  }
  return std::nullopt;
}

void Simulator::Download(const Bytes& frame) {
  std::uint8_t sum = 0;
  for (const std::uint8_t b : frame) sum ^= b;
  const bool valid = frame[2] == 0x54 && frame[88] == 0x03 && sum == 0;
  Log("download " + Hex(frame) + (valid ? " valid" : " invalid"));
  if (!valid) {
    SendByte(now_.badFrameReply);
    return;
  }
  std::copy(frame.begin() + 3, frame.begin() + 88, image_.begin());
  SendByte(now_.downloadReply);
}

void Simulator::Upload() {
  if (now_.uploadFault == "silence") return;
  const std::size_t first = now_.uploadMag ? 25 : 0;
  const std::size_t count = now_.uploadMag ? 60 : 25;
  const std::size_t length = now_.uploadLength >= 0 ? static_cast<std::size_t>(now_.uploadLength) : count;
  Bytes reply{static_cast<std::uint8_t>(length)};
  for (std::size_t i = 0; i < length; ++i) reply.push_back(i < count ? image_[first + i] : 0);
  std::string version = now_.version.substr(0, 22);
  version.resize(22, ' ');
  reply.insert(reply.end(), version.begin(), version.end());
  std::uint8_t sum = 0;
  for (const std::uint8_t b : reply) sum ^= b;
  reply.push_back(now_.uploadFault == "badcheck" ? static_cast<std::uint8_t>(sum ^ 0xFF) : sum);
  if (now_.uploadFault == "short") reply.pop_back();
  Pause(now_.turnaroundMs + now_.delayMs);
  Send(reply);
}

void Simulator::ReadMemory() {
  for (int block = 1;; ++block) {
    Bytes data(64, 0);
    const std::size_t at = static_cast<std::size_t>(block - 1) * 64;
    for (std::size_t i = 0; i < 64 && at + i < memory_.size(); ++i) data[i] = memory_[at + i];
    std::uint8_t sum = 0;
    for (const std::uint8_t b : data) sum ^= b;
    data.push_back(block == now_.badBlock ? static_cast<std::uint8_t>(sum ^ 0x01) : sum);
    if (block != now_.silentBlock) {
      Pause(now_.turnaroundMs + now_.delayMs);
      Send(data);
    }
    const auto ack = ReadByte(now_.ackTimeoutMs);
    if (!ack) {
      Log("ack-timeout");
      return;
    }
    if (*ack == 'S' || *ack == 'P' || *ack == 'E') {
      Log(std::string("ack ") + static_cast<char>(*ack));
      if (*ack != 'S') return;
      continue;
    }
    // Not an acknowledgement: the program moved on. Parse it as a frame.
    pending_.insert(pending_.begin(), *ack);
    Log("read-abandoned");
    return;
  }
}

void Simulator::ClearMemory() {
  SendByte(now_.clearReply);
  if (now_.clearReply == std::optional<std::uint8_t>(0x07)) memory_.assign(1, 0);
}

void Simulator::HandleFrame(const Bytes& frame) {
  ReloadSettings();
  if (frame.size() == 90) {
    Download(frame);
    return;
  }
  static const struct {
    std::uint8_t kind;
    const char* name;
    Bytes bytes;
  } kRequests[] = {{0x80, "upload", {0x02, 0x80, 0x03, 0x81}},
                   {0x82, "read", {0x02, 0x82, 0x03, 0x83}},
                   {0x83, "clear", {0x02, 0x83, 0x03, 0x82}}};
  for (const auto& r : kRequests) {
    if (frame[1] != r.kind) continue;
    if (frame != r.bytes) {
      Log("bad-request " + Hex(frame));
      return;
    }
    Log(std::string(r.name) + " " + Hex(frame));
    if (r.kind == 0x80) Upload();
    if (r.kind == 0x82) ReadMemory();
    if (r.kind == 0x83) ClearMemory();
    return;
  }
}

void Simulator::Run() {
  while (!ShouldExit()) {
    // Frames start with 02; the second byte tells the length.
    if (!pending_.empty() && pending_[0] != 0x02) {
      const auto end = std::find(pending_.begin(), pending_.end(), std::uint8_t{0x02});
      Log("junk " + Hex(Bytes(pending_.begin(), end)));
      pending_.erase(pending_.begin(), end);
      continue;
    }
    std::size_t need = 0;
    if (pending_.size() >= 2) {
      switch (pending_[1]) {
        case 0x01:
        case 0x02:
          need = 90;
          break;
        case 0x80:
        case 0x82:
        case 0x83:
          need = 4;
          break;
        default:
          Log("junk 02");
          pending_.erase(pending_.begin());
          continue;
      }
    }
    if (need != 0 && pending_.size() >= need) {
      const Bytes frame(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(need));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(need));
      HandleFrame(frame);
      continue;
    }
    if (!pending_.empty() && Clock::now() - lastByte_ > std::chrono::seconds(1)) {
      Log("partial " + Hex(pending_));
      pending_.clear();
    }
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
      std::uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) {
        pending_.insert(pending_.end(), buffer, buffer + n);
        lastByte_ = Clock::now();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Simulator simulator;
  const bool ready = simulator.Setup(argc, argv);
  if (ready) simulator.Run();
  simulator.Cleanup();
  return ready ? 0 : 1;
}
