// stdout or stderr of a command-line program, through the C runtime's
// buffered output: what the kit's console programs, Windows and Linux,
// write with. Portable.
#pragma once

#include <cstdio>
#include <string_view>

#include "textout.h"

namespace kit {

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

}  // namespace kit
