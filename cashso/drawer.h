// The cash drawer's own logic, apart from Windows: the two drawers as one
// table, the registry values, the status byte, the kick pulse, the
// monitor's change detection and the wait for a closed drawer. Both
// service object modules (drawer 1 and drawer 2) are built from the same
// sources; the build picks its row of kDrawers. Portable.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "opos.h"

namespace cash {

// What tells drawer 1 from drawer 2.
struct DrawerVariant {
  int number;                 // 1 or 2
  const char* module;         // the DLL's name without ".dll"
  const char* progId;
  const char* className;
  const wchar_t* deviceName;  // the DeviceName property
  std::uint8_t kickValue;     // written to the kick register to open it
  std::uint8_t statusMask;    // its bit in the status register: set = closed
};

inline constexpr DrawerVariant kDrawers[2] = {
    {1, "KvCash1So", "KvSO.KvCash1", "CKvCash1", L"KvSO.KvCash1", 0x01, 0x01},
    {2, "KvCash2So", "KvSO.KvCash2", "CKvCash2", L"KvSO.KvCash2", 0x04, 0x02},
};

// The common eleven methods, then OpenDrawer (12) and WaitForDrawerClose (13).
extern const std::array<opos::Method, 13> kDrawerMethods;

// The event requests the drawers resolve in OpenService, in this order.
inline constexpr const char* kEventNames[] = {"SODirectIO", "SOStatusUpdate"};
inline constexpr std::size_t kSOStatusUpdate = 1;

// The drawer's own property indices.
enum DrawerPropertyIndex : long {
  kPidxDrawerOpened = 1001,
  kPidxCapStatus = 1501,
};

// The string properties; any index not listed answers kUnknownText.
struct StringProperty {
  long index;
  const wchar_t* drawer1;
  const wchar_t* drawer2;
};
inline constexpr StringProperty kStringProperties[] = {
    {1000001, L"OK", L"OK"},                                        // CheckHealthText
    {1000002, L"Marrowind Cash Drawer 1", L"Marrowind Cash Drawer 1"},  // DeviceDescription
    {1000003, L"KvSO.KvCash1", L"KvSO.KvCash2"},                    // DeviceName
    {1000004, L"Marrowind Customer Cash Drawer Service",
     L"Marrowind Customer Cash Drawer Service"},                    // ServiceObjectDescription
};
inline constexpr wchar_t kUnknownText[] = L"Empty";
const wchar_t* StringPropertyText(long index, const DrawerVariant& drawer);

// The device keys live below this path (the device name follows).
inline constexpr char kDeviceClassKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";
// The device key's values, as read at OpenService.
bool CapStatusFrom(const std::optional<std::string>& capStatus);   // "False": 0, else 1
bool DirectModeFrom(const std::optional<std::string>& opSysNT);    // "False": direct

// Direct mode asks for port instructions in user mode, which every Windows
// of the NT family (every Windows this kit runs on) refuses with an
// exception that ends the application. The device is therefore not opened
// in direct mode, and CheckHealthText says why.
inline constexpr wchar_t kDirectModeRefused[] =
    L"Direct port access is not possible on this Windows: set OpSysNT to True and install the Tillport driver";

// Ports: offsets from the first port of the driver's range ("IoPortAddress").
inline constexpr std::uint32_t kKickOffset = 0;
inline constexpr std::uint32_t kStatusOffset = 1;

// Timings, in milliseconds.
inline constexpr unsigned kPulseMs = 300;
inline constexpr unsigned kPollMs = 1000;
inline constexpr unsigned kWaitFirstMs = 2000;
inline constexpr unsigned kWaitStepMs = 100;

// The two registers, however they are reached.
class DrawerPort {
 public:
  virtual ~DrawerPort() = default;
  // Writes the whole kick register.
  virtual void WriteKick(std::uint8_t value) = 0;
  // The status register; nothing when the read failed.
  virtual std::optional<std::uint8_t> ReadStatus() = 0;
};

// Time and sound, so that the waits can be tested without waiting.
class Till {
 public:
  virtual ~Till() = default;
  virtual void Sleep(unsigned ms) = 0;
  virtual void Beep(unsigned long frequency, unsigned long durationMs) = 0;
};

// DrawerOpened from a status byte: 0 when the drawer's bit is set (closed).
long DrawerOpenedFrom(std::uint8_t status, std::uint8_t mask);
// Reads the status register: DrawerOpened, 1 open, 0 closed. A failed read
// counts as closed, so that nothing waits for ever on a lost device.
long ReadDrawerOpened(DrawerPort& port, std::uint8_t mask);

// The 300 ms pulse of the drawer's kick value.
void KickPulse(DrawerPort& port, Till& till, std::uint8_t kick);

// The monitor's memory of what it last reported: the drawer's status bit,
// starting clear, so the first poll of a closed drawer reports it closed
// and the first poll of an open one reports nothing.
class StatusReporter {
 public:
  // True when `masked` (status byte & mask) differs from the last report;
  // it is then remembered as reported.
  bool Changed(std::uint8_t masked) {
    if (masked == last_) return false;
    last_ = masked;
    return true;
  }

 private:
  std::uint8_t last_ = 0;
};

struct BeepSettings {
  long timeoutMs;    // silence before the first beep
  long frequency;    // Hz
  long durationMs;
  long delayMs;      // after each beep
};

// WaitForDrawerClose with status capability: 2 s, then until the drawer is
// seen closed, silent for the beep time-out and then beeping. The status is
// read by `readOpened` (which also stores DrawerOpened) before each step of
// at most 100 ms, so a closed drawer ends the wait within one step however
// the monitor is doing. Answers the number of status reads.
template <typename ReadOpened>
unsigned WaitForDrawerClose(ReadOpened readOpened, Till& till, const BeepSettings& beep) {
  till.Sleep(kWaitFirstMs);
  unsigned reads = 0;
  long remaining = beep.timeoutMs;
  for (;;) {
    ++reads;
    if (readOpened() == 0) return reads;
    if (remaining > 0) {
      till.Sleep(kWaitStepMs);
      remaining -= static_cast<long>(kWaitStepMs);
      continue;
    }
    till.Beep(beep.frequency > 0 ? static_cast<unsigned long>(beep.frequency) : 0,
              beep.durationMs > 0 ? static_cast<unsigned long>(beep.durationMs) : 0);
    // The delay in steps too, ended early by a closed drawer; the beeps
    // keep their rhythm while it stays open.
    long delay = beep.delayMs > 0 ? beep.delayMs : 0;
    while (delay > 0) {
      const long step = delay < static_cast<long>(kWaitStepMs) ? delay : static_cast<long>(kWaitStepMs);
      till.Sleep(static_cast<unsigned>(step));
      delay -= step;
      if (delay > 0) {
        ++reads;
        if (readOpened() == 0) return reads;
      }
    }
  }
}

}  // namespace cash
