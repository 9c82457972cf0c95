// The drawer registers, through the Tillport driver's device "\\.\Tillport".
#pragma once

#include <windows.h>

#include "drawer.h"
#include "handle_win.h"
#include "trace_win.h"

namespace cash {

class DriverPort final : public DrawerPort {
 public:
  // Opens "\\.\Tillport" for reading and writing, no sharing.
  bool Open();
  void Close() { device_.reset(); }
  bool IsOpen() const { return static_cast<bool>(device_); }
  // Port reads and writes go to the object's trace at its wire level.
  void SetTrace(oposso::Trace* trace) { trace_ = trace; }

  void WriteKick(std::uint8_t value) override;
  std::optional<std::uint8_t> ReadStatus() override;

 private:
  kit::UniqueHandle device_;
  oposso::Trace* trace_ = nullptr;
};

// Time and sound of the Windows system.
class SystemTill final : public Till {
 public:
  void Sleep(unsigned ms) override { ::Sleep(ms); }
  void Beep(unsigned long frequency, unsigned long durationMs) override {
    ::Beep(static_cast<DWORD>(frequency), static_cast<DWORD>(durationMs));
  }
};

}  // namespace cash
