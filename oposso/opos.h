// OPOS values and the dispatch method set shared by the kit's service
// objects, as data that the objects and their tests both read. Portable.
#pragma once

#include <array>
#include <cstddef>

namespace opos {

// Result codes (ResultCode and ResultCodeExtended).
enum Result : long {
  kSuccess = 0,
  kNotClaimed = 103,
  kNoService = 104,
  kDisabled = 105,
  kIllegal = 106,
  kFailure = 111,
};

// State values.
enum State : long { kClosed = 1, kIdle = 2, kError = 4 };

// CheckHealth levels.
enum HealthLevel : long { kInternal = 1, kExternal = 2, kInteractive = 3 };

// Error locus and response of an error event.
inline constexpr long kErrorLocusInput = 2;
inline constexpr long kErrorResponseClear = 12;

// Property indices shared by every service object.
enum PropertyIndex : long {
  kPidxClaimed = 1,
  kPidxDataEventEnabled = 2,
  kPidxDeviceEnabled = 3,
  kPidxFreezeEvents = 4,
  kPidxResultCode = 6,
  kPidxResultCodeExtended = 7,
  kPidxServiceObjectVersion = 8,
  kPidxState = 9,
  kPidxDataCount = 12,
  kPidxCheckHealthText = 1000001,
  kPidxDeviceDescription = 1000002,
  kPidxDeviceName = 1000003,
  kPidxServiceObjectDescription = 1000004,
};

// 1.2.0 in the OPOS encoding major * 1000000 + minor * 1000 + build.
inline constexpr long kServiceObjectVersion = 1002000;

// Event types a worker thread hands to the event window.
enum EventType : long { kEventData = 1, kEventError = 3, kEventStatus = 5 };

// The window message through which worker threads have events fired.
inline constexpr unsigned kWmSoEvent = 0x465;  // WM_USER + 101

// Dispatch methods: DISPID = position in the table, 1-based.
enum class Param {
  kLong,       // long, by value
  kBstr,       // BSTR, by value
  kDispatch,   // IDispatch*, by value
  kBool,       // automation boolean, by value
  kLongRef,    // long*, by reference
  kBstrRef,    // BSTR*, by reference
};
enum class Returns { kNothing, kLong, kBstr };

inline constexpr std::size_t kMaxParams = 4;

struct Method {
  const char* name;
  long dispid;
  Returns returns;
  std::size_t paramCount;
  std::array<Param, kMaxParams> params;
};

enum MethodId : long {
  kGetPropertyNumber = 1,
  kSetPropertyNumber,
  kGetPropertyString,
  kSetPropertyString,
  kOpenService,
  kClose,
  kClaim,
  kRelease,
  kCheckHealth,
  kDirectIO,
  kCOFreezeEvents,
  kDeviceMethod12,  // MSR ClearInput, drawers OpenDrawer
  kDeviceMethod13,  // drawers WaitForDrawerClose
};

// The eleven methods every service object has, DISPIDs 1 to 11.
inline constexpr std::array<Method, 11> kCommonMethods = {{
    {"GetPropertyNumber", kGetPropertyNumber, Returns::kLong, 1, {Param::kLong}},
    {"SetPropertyNumber", kSetPropertyNumber, Returns::kNothing, 2, {Param::kLong, Param::kLong}},
    {"GetPropertyString", kGetPropertyString, Returns::kBstr, 1, {Param::kLong}},
    {"SetPropertyString", kSetPropertyString, Returns::kNothing, 2, {Param::kLong, Param::kBstr}},
    {"OpenService", kOpenService, Returns::kLong, 3, {Param::kBstr, Param::kBstr, Param::kDispatch}},
    {"Close", kClose, Returns::kLong, 0, {}},
    {"Claim", kClaim, Returns::kLong, 1, {Param::kLong}},
    {"Release", kRelease, Returns::kLong, 0, {}},
    {"CheckHealth", kCheckHealth, Returns::kLong, 1, {Param::kLong}},
    {"DirectIO", kDirectIO, Returns::kLong, 3, {Param::kLong, Param::kLongRef, Param::kBstrRef}},
    {"COFreezeEvents", kCOFreezeEvents, Returns::kLong, 1, {Param::kBool}},
}};

// Case-insensitive ASCII comparison, as GetIDsOfNames matches names.
bool SameName(const wchar_t* a, const char* b);

}  // namespace opos
