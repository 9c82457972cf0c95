// cardsim: a serial magnetic stripe reader on the far end of a serial line,
// for tests. It sends each swiped card as one line of ASCII text ending in
// CR, paced at the line's baud rate, on command.
//
//   cardsim [--pty-file=FILE] [--wine-port=COMn] [--log=FILE]
//           [--control=FILE] [--timeout=SECONDS] [--baud=9600]
//           [--lines=FILE] [--gap-ms=200]
//
//   --pty-file, --wine-port, --log, --timeout: as decodersim's (PtyPort).
//   --control=FILE  commands, one a line, appended by the test; only whole
//                   lines (ending in LF) are taken, each once. Removing the
//                   file makes the simulator exit.
//   --lines=FILE    swipes each line of FILE in turn at start, --gap-ms apart.
//   --baud=N        10 bits per byte; 0 sends each command's bytes at once.
//
// Commands:
//   swipe TEXT      TEXT then CR
//   part TEXT       TEXT alone (the start of a line that goes on later)
//   raw HEX         exactly these bytes (a line without CR, two lines in
//                   one burst, anything)
//   long N          a line of N digits then CR
//   baud N          the pacing from now on
//   pause MS        nothing for MS milliseconds before the next command
//   unplug          the reader is pulled out: its pseudo-terminal goes, and
//                   the COM port's link with it
//   plug            plugged back: a new pseudo-terminal behind the same port
// Log lines: "ready <slave>", "sent <count> <command word>" once the last
// byte of a command is written, "paused", "unplugged", "plugged <slave>",
// "bad-command <line>", "exit".
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ptyport.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

volatile sig_atomic_t g_signalled = 0;
void OnSignal(int) { g_signalled = 1; }

struct Options {
  std::string ptyFile, winePort, log, control, lines;
  int timeoutSeconds = 600;
  long baud = 9600;
  int gapMs = 200;
};

void Log(const Options& o, const std::string& line) {
  if (o.log.empty()) return;
  if (FILE* f = std::fopen(o.log.c_str(), "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

bool ParseHex(std::string_view text, Bytes& out) {
  int high = -1;
  for (const char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c == ' ') continue;
    else return false;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  return high < 0;
}

// Writes `bytes` to the master paced at `baud`.
void Send(int master, const Bytes& bytes, long baud) {
  const auto byteTime = baud > 0 ? std::chrono::microseconds(10'000'000 / baud) : std::chrono::microseconds(0);
  auto next = Clock::now();
  for (std::size_t i = 0; i < bytes.size() && !g_signalled;) {
    if (baud > 0) {
      std::this_thread::sleep_until(next);
      next += byteTime;
    }
    const std::size_t count = baud > 0 ? 1 : bytes.size() - i;
    const ssize_t n = write(master, bytes.data() + i, count);
    if (n > 0) {
      i += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      pollfd p{master, POLLOUT, 0};
      poll(&p, 1, 50);
    }
  }
}

// Opens the reader's pseudo-terminal and puts it behind the port.
bool Plug(const Options& o, testbed::PtyPort& pty, std::string& error) {
  return pty.Open(error) && (o.winePort.empty() || pty.LinkWinePort(o.winePort, error)) &&
         (o.ptyFile.empty() || pty.Publish(o.ptyFile, error));
}

// Runs one command line; false when it is not understood.
bool Command(const Options& o, testbed::PtyPort& pty, long& baud, const std::string& line) {
  const std::size_t space = line.find(' ');
  const std::string word = line.substr(0, space);
  const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
  Bytes bytes;
  if (word == "swipe") {
    bytes.assign(arg.begin(), arg.end());
    bytes.push_back(0x0D);
  } else if (word == "raw") {
    if (!ParseHex(arg, bytes)) return false;
  } else if (word == "long") {
    const int n = std::atoi(arg.c_str());
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>('0' + i % 10));
    bytes.push_back(0x0D);
  } else if (word == "part") {
    bytes.assign(arg.begin(), arg.end());
  } else if (word == "baud") {
    baud = std::atol(arg.c_str());
    Log(o, "baud " + std::to_string(baud));
    return true;
  } else if (word == "pause") {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
    Log(o, "paused");
    return true;
  } else if (word == "unplug") {
    pty.Close();
    Log(o, "unplugged");
    return true;
  } else if (word == "plug") {
    pty.Close();
    std::string error;
    if (!Plug(o, pty, error)) {
      Log(o, "error " + error);
      return true;
    }
    Log(o, "plugged " + pty.SlavePath());
    return true;
  } else {
    return false;
  }
  if (pty.Master() >= 0) Send(pty.Master(), bytes, baud);  // unplugged: nowhere
  Log(o, "sent " + std::to_string(bytes.size()) + " " + word);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (name == "--pty-file") o.ptyFile = value;
    else if (name == "--wine-port") o.winePort = value;
    else if (name == "--log") o.log = value;
    else if (name == "--control") o.control = value;
    else if (name == "--lines") o.lines = value;
    else if (name == "--timeout") o.timeoutSeconds = std::atoi(value.c_str());
    else if (name == "--baud") o.baud = std::atol(value.c_str());
    else if (name == "--gap-ms") o.gapMs = std::atoi(value.c_str());
    else {
      std::fprintf(stderr, "cardsim: bad argument %s\n", arg.c_str());
      return 2;
    }
  }
  const auto deadline = Clock::now() + std::chrono::seconds(o.timeoutSeconds);
  if (!o.control.empty()) {
    struct stat st;
    if (stat(o.control.c_str(), &st) != 0) std::ofstream(o.control).flush();
  }

  testbed::PtyPort pty;
  std::string error;
  if (!Plug(o, pty, error)) {
    std::fprintf(stderr, "cardsim: %s\n", error.c_str());
    Log(o, "error " + error);
    return 1;
  }
  Log(o, "ready " + pty.SlavePath());
  if (!o.log.empty()) {
    testbed::DetachStdio();
  } else {
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);
  }

  long baud = o.baud;
  if (!o.lines.empty()) {
    std::ifstream in(o.lines, std::ios::binary);
    for (std::string line; std::getline(in, line) && !g_signalled;) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Command(o, pty, baud, "swipe " + line);
      std::this_thread::sleep_for(std::chrono::milliseconds(o.gapMs));
    }
  }

  std::size_t done = 0;  // bytes of the control file already taken
  while (!g_signalled && Clock::now() < deadline) {
    // Whatever the program writes (nothing, normally) is read and dropped.
    char sink[256];
    while (pty.Master() >= 0 && read(pty.Master(), sink, sizeof sink) > 0) {
    }
    if (!o.control.empty()) {
      std::ifstream in(o.control, std::ios::binary);
      if (!in) break;  // removed: exit
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      while (done < text.size()) {
        const std::size_t end = text.find('\n', done);
        if (end == std::string::npos) break;
        std::string line = text.substr(done, end - done);
        done = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (!Command(o, pty, baud, line)) Log(o, "bad-command " + line);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pty.Close();
  Log(o, "exit");
  return 0;
}
