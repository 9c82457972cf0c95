#include "ptyport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace testbed {

bool PtyPort::Open(std::string& error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error = "no pseudo-terminal";
    return false;
  }
  const char* name = ptsname(master_);
  if (!name) {
    error = "no pseudo-terminal name";
    return false;
  }
  slavePath_ = name;
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  if (slave_ < 0) {
    error = "cannot open " + slavePath_;
    return false;
  }
  // Raw mode so that no byte is changed or echoed.
  termios tio;
  if (tcgetattr(slave_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool PtyPort::LinkWinePort(const std::string& port, std::string& error) {
  const char* prefix = getenv("WINEPREFIX");
  const char* home = getenv("HOME");
  const std::string dir = prefix && *prefix ? prefix : std::string(home ? home : "") + "/.wine";
  std::string name(port);
  std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  linkPath_ = dir + "/dosdevices/" + name;
  char target[4096];
  const ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
  if (n > 0) {
    hadOldLink_ = true;
    oldLinkTarget_.assign(target, static_cast<std::size_t>(n));
  }
  const std::string temp = linkPath_ + ".ptyport";
  unlink(temp.c_str());
  if (symlink(slavePath_.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), linkPath_.c_str()) != 0) {
    error = "cannot link " + linkPath_;
    return false;
  }
  linkMade_ = true;
  return true;
}

bool PtyPort::Publish(const std::string& file, std::string& error) {
  const std::string temp = file + ".tmp";
  {
    std::ofstream out(temp);
    out << slavePath_ << "\n";
    if (!out) {
      error = "cannot write " + temp;
      return false;
    }
  }
  if (rename(temp.c_str(), file.c_str()) != 0) {
    error = "cannot write " + file;
    return false;
  }
  ptyFile_ = file;
  return true;
}

void PtyPort::Close() {
  if (linkMade_) {
    if (hadOldLink_) {
      const std::string temp = linkPath_ + ".ptyport";
      unlink(temp.c_str());
      if (symlink(oldLinkTarget_.c_str(), temp.c_str()) == 0) rename(temp.c_str(), linkPath_.c_str());
    } else {
      unlink(linkPath_.c_str());
    }
    linkMade_ = false;
  }
  if (!ptyFile_.empty()) unlink(ptyFile_.c_str());
  ptyFile_.clear();
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

void DetachStdio() {
  const int null = open("/dev/null", O_RDWR);
  if (null < 0) return;
  dup2(null, 0);
  dup2(null, 1);
  dup2(null, 2);
  if (null > 2) close(null);
}

}  // namespace testbed
