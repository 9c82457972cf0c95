// Binding to the port I/O library adkb.dll, loaded by name at start-up. It
// gives the keyboard-port link its writes to the keyboard controller.
#pragma once

#include <windows.h>

#include <cstdint>

#include "handle_win.h"

namespace q5r {

class PortIo {
 public:
  PortIo() = default;
  PortIo(const PortIo&) = delete;
  PortIo& operator=(const PortIo&) = delete;

  // Loads the library and calls InitializeWinIo. False when the library or
  // one of its entries is missing, or when InitializeWinIo reports failure.
  bool Initialize();
  // SetPortVal(port, value, size); false when the library is not loaded.
  bool SetPortVal(std::uint16_t port, std::uint32_t value, std::uint8_t size);
  // ShutdownWinIo, when the library was loaded.
  void Shutdown();

 private:
  using InitializeFn = BOOL(WINAPI*)();
  using SetPortValFn = BOOL(WINAPI*)(DWORD, DWORD, BYTE);
  using ShutdownFn = void(WINAPI*)();

  kit::UniqueModule library_;
  InitializeFn initialize_ = nullptr;
  SetPortValFn setPortVal_ = nullptr;
  ShutdownFn shutdown_ = nullptr;
};

}  // namespace q5r
