// Conversions between the wide strings of the Win32 UI and the 8-bit ANSI
// code-page text that files and devices carry, or UTF-8 where the portable
// code keeps text that may hold any character.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kit {

inline std::wstring FromCodePage(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

inline std::string ToCodePage(UINT codePage, std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

inline std::wstring FromAnsi(std::string_view text) { return FromCodePage(CP_ACP, text); }
inline std::string ToAnsi(std::wstring_view text) { return ToCodePage(CP_ACP, text); }
inline std::wstring FromUtf8(std::string_view text) { return FromCodePage(CP_UTF8, text); }
inline std::string ToUtf8(std::wstring_view text) { return ToCodePage(CP_UTF8, text); }

inline std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace kit
