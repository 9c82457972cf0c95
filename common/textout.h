// Where a command-line program writes its text: stdout, stderr, or a
// test's string. Text only, handed on as it comes, so the programs need
// none of the C++ library's stream and locale machinery (a third of their
// size). Portable.
#pragma once

#include <string_view>

namespace kit {

class TextOut {
 public:
  virtual ~TextOut() = default;
  virtual void Write(std::string_view text) = 0;
  // Whatever was written so far is out (a progress line before a wait).
  virtual void Flush() {}
  TextOut& operator<<(std::string_view text) {
    Write(text);
    return *this;
  }
};

}  // namespace kit
