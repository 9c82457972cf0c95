// q5rcfg on Windows: a console program. Arguments, file names and texts are
// taken in the ANSI code page, as the configuration files carry them.
#include <windows.h>


#include "cli/commands.h"
#include "fileout.h"
#include "cli/serialline.h"
#include "fileio_win.h"
#include "text_win.h"

namespace {

class WindowsEnvironment : public q5r::cli::Environment {
 public:
  kit::FileOut out{stdout};
  kit::FileOut err{stderr, &out};
  q5r::cli::TextOut& Out() override { return out; }
  q5r::cli::TextOut& Err() override { return err; }
  bool ErrIsTerminal() override { return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR; }
  std::optional<std::string> ReadFile(const std::string& path) override {
    return kit::ReadWholeFile(kit::FromAnsi(path));
  }
  bool WriteFileReplacing(const std::string& path, std::string_view data) override {
    return kit::WriteFileReplacing(kit::FromAnsi(path), data);
  }
  std::unique_ptr<q5r::SerialLine> OpenPort(const std::string& port, int number, const std::string& settings) override {
    return q5r::cli::OpenSerialLine(port, number, settings);
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(kit::ToAnsi(argv[i]));
  WindowsEnvironment env;
  const int status = q5r::cli::Run(args, env);
  env.out.Flush();
  return q5r::cli::FinalStatus(args, status, env.out.Failed());
}
