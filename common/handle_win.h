// One move-only RAII owner for every kind of Win32 handle, parameterised by
// its close function. Copying is deleted so a handle is closed exactly once.
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

namespace kit {

template <typename T, auto CloseFn>
class Unique {
 public:
  Unique() noexcept = default;
  explicit Unique(T h) noexcept : h_(h) {}
  ~Unique() { reset(); }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : h_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return IsValid(h_); }
  T release() noexcept { return std::exchange(h_, T{}); }
  void reset(T h = T{}) noexcept {
    if (IsValid(h_)) CloseFn(h_);
    h_ = h;
  }

 private:
  static bool IsValid(T h) noexcept {
    if constexpr (std::is_same_v<T, HANDLE>) {
      return h != nullptr && h != INVALID_HANDLE_VALUE;
    } else {
      return h != nullptr;
    }
  }
  T h_{};
};

using UniqueHandle = Unique<HANDLE, &::CloseHandle>;
using UniqueKey = Unique<HKEY, &::RegCloseKey>;
using UniqueModule = Unique<HMODULE, &::FreeLibrary>;
using UniqueGdiObject = Unique<HGDIOBJ, &::DeleteObject>;

}  // namespace kit
