// stdout or stderr for the commands, through the C runtime's buffered
// output: what both programs, Windows and Linux, write with.
#pragma once

#include <cstdio>
#include <string_view>

#include "cli/commands.h"

namespace q5r::cli {

class FileOut : public TextOut {
 public:
  // `before`: written out first whenever this writes (stdout before a
  // message on stderr), so the two keep their order on one terminal or pipe.
  explicit FileOut(std::FILE* file, FileOut* before = nullptr) : file_(file), before_(before) {}
  void Write(std::string_view text) override {
    if (before_) before_->Flush();
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
  }
  void Flush() override {
    if (std::fflush(file_) != 0) failed_ = true;
  }
  // Something written could not go out (a full disk, a closed pipe).
  bool Failed() const { return failed_ || std::ferror(file_) != 0; }

 private:
  std::FILE* file_;
  FileOut* before_;
  bool failed_ = false;
};

}  // namespace q5r::cli
