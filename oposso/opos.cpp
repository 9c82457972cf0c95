#include "opos.h"

namespace opos {

bool SameName(const wchar_t* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  for (;; ++a, ++b) {
    wchar_t x = *a;
    char y = *b;
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != static_cast<unsigned char>(y)) return false;
    if (x == 0) return true;
  }
}

}  // namespace opos
