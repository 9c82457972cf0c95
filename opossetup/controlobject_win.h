// An OPOS control object, created by class identifier and driven through
// its automation interface by dispatch identifier, with its events taken
// the way a control container takes them: from the object's default source
// interface, found at run time.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace opos {

// Class identifiers and dispatch identifiers of the control objects.
extern const CLSID kClsidCashDrawer;
extern const CLSID kClsidLineDisplay;
extern const CLSID kClsidMsr;

namespace dispid {
inline constexpr DISPID kDataEventEnabled = 16;
inline constexpr DISPID kDeviceEnabled = 17;
inline constexpr DISPID kResultCode = 22;
inline constexpr DISPID kState = 24;
inline constexpr DISPID kDeviceName = 30;
inline constexpr DISPID kClaimDevice = 32;
inline constexpr DISPID kClose = 35;
inline constexpr DISPID kOpen = 37;
inline constexpr DISPID kReleaseDevice = 38;
inline constexpr DISPID kAccountNumber = 50;
inline constexpr DISPID kDrawerOpened = 51;
inline constexpr DISPID kMsrLongProperty55 = 55;
inline constexpr DISPID kExpirationDate = 56;
inline constexpr DISPID kFirstName = 57;
inline constexpr DISPID kMiddleInitial = 58;
inline constexpr DISPID kOpenDrawer = 60;
inline constexpr DISPID kSurname = 63;
inline constexpr DISPID kTrack1Data = 65;
inline constexpr DISPID kTrack2Data = 67;
inline constexpr DISPID kTrack3Data = 69;
inline constexpr DISPID kTracksToRead = 70;
inline constexpr DISPID kClearText = 81;
inline constexpr DISPID kDisplayText = 84;
inline constexpr DISPID kDisplayTextAt = 85;
// Events.
inline constexpr DISPID kDataEvent = 1;
inline constexpr DISPID kErrorEvent = 3;
}  // namespace dispid

// Arguments of a call, in the order the member declares them.
class Args {
 public:
  Args() = default;
  ~Args();
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;
  Args& Long(long value);
  Args& Text(std::wstring_view value);
  std::vector<VARIANT>& values() { return values_; }

 private:
  std::vector<VARIANT> values_;
};

class ControlObject {
 public:
  // Called on the thread that runs the dialogs, for every event the object fires.
  using EventHandler = std::function<void(DISPID event, DISPPARAMS& params)>;

  ControlObject() = default;
  ~ControlObject() { Reset(); }
  ControlObject(const ControlObject&) = delete;
  ControlObject& operator=(const ControlObject&) = delete;

  // False when the control object is not installed (or cannot be created).
  bool Create(const CLSID& clsid);
  void Reset();
  explicit operator bool() const { return object_ != nullptr; }

  // A method's long result; `failure` when the call itself fails.
  long CallLong(DISPID id, Args&& args = Args(), long failure = -1);
  void Call(DISPID id, Args&& args = Args()) { CallLong(id, std::move(args)); }
  void PutBool(DISPID id, bool value);
  void PutLong(DISPID id, long value);
  long GetLong(DISPID id, long failure = -1);
  bool GetBool(DISPID id);
  std::wstring GetString(DISPID id);

  // Connects `handler` to the object's default source interface; false when
  // the object has none.
  bool Advise(EventHandler handler);
  void Unadvise();

 private:
  HRESULT Invoke(DISPID id, WORD flags, std::vector<VARIANT>& args, VARIANT* result);

  IDispatch* object_ = nullptr;
  IConnectionPoint* point_ = nullptr;
  DWORD cookie_ = 0;
};

}  // namespace opos
