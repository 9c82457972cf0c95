#include "serialname.h"

namespace kit {

namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";

bool SameLetters(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

int ComPortNumber(std::string_view name) {
  if (name.substr(0, kDeviceNamespace.size()) == kDeviceNamespace) name.remove_prefix(kDeviceNamespace.size());
  if (name.size() < 4 || name.size() > 8 || !SameLetters(name.substr(0, 3), "COM") || name[3] == '0') return 0;
  int n = 0;
  for (const char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::string SerialDeviceName(std::string_view name) {
  const int n = ComPortNumber(name);
  if (n == 0) return std::string(name);
  return std::string(kDeviceNamespace) + "COM" + std::to_string(n);
}

}  // namespace kit
