// q5rcfg on Linux: files through POSIX calls, the port through termios.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/commands.h"
#include "fileout.h"
#include "cli/serialline.h"

namespace {

// Writes a temporary file beside the target, flushes it to disk and renames
// it over the target, so the target is either the old file or the new one.
bool WriteFileReplacing(const std::string& path, std::string_view data) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, static_cast<mode_t>(0666 & ~mask));
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

class PosixEnvironment : public q5r::cli::Environment {
 public:
  kit::FileOut out{stdout};
  kit::FileOut err{stderr, &out};
  q5r::cli::TextOut& Out() override { return out; }
  q5r::cli::TextOut& Err() override { return err; }
  bool ErrIsTerminal() override { return isatty(STDERR_FILENO) != 0; }
  std::optional<std::string> ReadFile(const std::string& path) override {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return contents.str();
  }
  bool WriteFileReplacing(const std::string& path, std::string_view data) override {
    return ::WriteFileReplacing(path, data);
  }
  std::unique_ptr<q5r::SerialLine> OpenPort(const std::string& port, int number, const std::string& settings) override {
    return q5r::cli::OpenSerialLine(port, number, settings);
  }
};

}  // namespace

int main(int argc, char** argv) {
  PosixEnvironment env;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = q5r::cli::Run(args, env);
  env.out.Flush();
  return q5r::cli::FinalStatus(args, status, env.out.Failed());
}
