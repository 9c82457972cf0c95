// POSIX side of the serial line: termios on /dev/ttyS*, /dev/ttyUSB* or a
// pseudo-terminal. "COMn" is /dev/ttyS<n-1>.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "cli/serialline.h"
#include "link/linksettings.h"

namespace q5r::cli {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<speed_t> Speed(unsigned long baud) {
  switch (baud) {
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    default: return std::nullopt;
  }
}

class TermiosLine : public SerialLine {
 public:
  explicit TermiosLine(int fd) : fd_(fd) {}
  ~TermiosLine() override { close(fd_); }
  TermiosLine(const TermiosLine&) = delete;
  TermiosLine& operator=(const TermiosLine&) = delete;

  bool Write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (Clock::now() >= deadline) return false;
      pollfd p{fd_, POLLOUT, 0};
      poll(&p, 1, 10);
    }
    return true;
  }

  void ClearReceived() override {
    tcflush(fd_, TCIFLUSH);
    pending_.clear();
  }

  std::vector<std::uint8_t> AwaitReceived(std::size_t threshold, int timeoutMs) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      Drain();
      if (!pending_.empty() && pending_.size() >= threshold) return std::exchange(pending_, {});
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return {};
      pollfd p{fd_, POLLIN, 0};
      poll(&p, 1, static_cast<int>(left));
    }
  }

 private:
  void Drain() {
    std::uint8_t buffer[512];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) return;
      pending_.insert(pending_.end(), buffer, buffer + n);
    }
  }

  int fd_;
  std::vector<std::uint8_t> pending_;
};

}  // namespace

std::unique_ptr<SerialLine> OpenSerialLine(const std::string& port, int number, const std::string& settings) {
  const auto line = ParseLineSettings(settings);
  if (!line) return nullptr;
  const auto speed = Speed(line->baud);
  if (!speed) return nullptr;
  const std::string path = number > 0 ? "/dev/ttyS" + std::to_string(number - 1) : port;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  auto result = std::make_unique<TermiosLine>(fd);
  termios t{};
  if (tcgetattr(fd, &t) != 0) return nullptr;
  cfmakeraw(&t);
  cfsetispeed(&t, *speed);
  cfsetospeed(&t, *speed);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  switch (line->dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
  }
  if (line->stopBits == 2) t.c_cflag |= CSTOPB;
  switch (line->parity) {
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &t) != 0) return nullptr;
  tcflush(fd, TCIOFLUSH);
  return result;
}

}  // namespace q5r::cli
