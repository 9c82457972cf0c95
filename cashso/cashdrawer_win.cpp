#include "cashdrawer_win.h"

#include <new>

#include "module_win.h"
#include "registry_win.h"
#include "text_win.h"
#include "tillport_ioctl.h"

namespace cash {

CashDrawer::CashDrawer() : ServiceObject(kDrawerMethods) {}

CashDrawer::~CashDrawer() = default;

HRESULT CashDrawer::Create(REFIID riid, void** out) {
  auto* object = new (std::nothrow) CashDrawer;
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

void CashDrawer::FinalRelease() {
  // Dropped without Release and Close: no monitor may outlive the object
  // in a module that may be unloaded next.
  if (claimed_) ReleaseDevice();
  StopMonitor();
  DestroyEventWindow();
  driverPort_.Close();
}

// ---- Type information --------------------------------------------------

HRESULT CashDrawer::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  ITypeLib* lib = nullptr;
  if (SUCCEEDED(LoadRegTypeLib(*oposso::kModule.libid, 1, 0, LOCALE_NEUTRAL, &lib))) {
    if (lib->GetTypeInfoCount() > 0) *count = 1;
    lib->Release();
  }
  return S_OK;
}

HRESULT CashDrawer::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadRegTypeLib(*oposso::kModule.libid, 1, 0, lcid, &lib);
  if (FAILED(hr)) return hr;
  hr = lib->GetTypeInfo(0, info);
  lib->Release();
  return hr;
}

// ---- Properties --------------------------------------------------------

long CashDrawer::GetPropertyNumber(long index) {
  switch (index) {
    case opos::kPidxClaimed: return claimed_;
    case opos::kPidxDataEventEnabled: return 0;
    case opos::kPidxDeviceEnabled: return deviceEnabled_;
    case opos::kPidxFreezeEvents: return freezeEvents_;
    case opos::kPidxResultCode: return resultCode_;
    case opos::kPidxResultCodeExtended: return resultCodeExtended_;
    case opos::kPidxServiceObjectVersion: return opos::kServiceObjectVersion;
    case opos::kPidxState: return state_;
    case opos::kPidxDataCount: return 0;
    case kPidxDrawerOpened: return ReadStatus();
    case kPidxCapStatus: return capStatus_;
    default: return 0;
  }
}

void CashDrawer::SetPropertyNumber(long index, long number) {
  switch (index) {
    case opos::kPidxDeviceEnabled:
      deviceEnabled_ = number;
      if (monitorArmed_) {
        monitorArmed_ = false;
        StartMonitor();
      }
      break;  // ResultCode unchanged
    case opos::kPidxFreezeEvents:
      freezeEvents_ = number;
      break;
    default:
      break;  // ignored
  }
}

std::wstring CashDrawer::GetPropertyString(long index) {
  if (index == opos::kPidxCheckHealthText) return healthText_;
  return StringPropertyText(index, kThisDrawer);
}

// ---- Methods -----------------------------------------------------------

long CashDrawer::OpenService(const wchar_t*, const wchar_t* deviceName, IDispatch* control) {
  if (opened_) Close();
  kit::UniqueKey key;
  driverPort_.SetTrace(&trace());
  if (!BeginOpenService(kDeviceClassKey, deviceName, control, kEventNames, key)) return SetResult(opos::kNoService);
  capStatus_ = CapStatusFrom(kit::QueryString(key.get(), "CapStatus")) ? 1 : 0;
  const bool direct = DirectModeFrom(kit::QueryString(key.get(), "OpSysNT"));
  key.reset();
  driverPort_.Close();
  healthText_ = L"OK";
  if (direct) {
    healthText_ = kDirectModeRefused;
    trace().WriteMade(trace::kCalls, [] {
      return "OpenService: OpSysNT is \"False\" (direct port access), refused: " + kit::ToUtf8(kDirectModeRefused);
    });
    return SetResult(opos::kNoService);
  }
  if (!driverPort_.Open()) {
    const DWORD error = GetLastError();
    trace().WriteMade(trace::kCalls, [&] {
      return "OpenService: the driver " + trace::Quoted(TILLPORT_USER_PATH_A) + " could not be opened (error " +
             std::to_string(error) + ")";
    });
    return SetResult(opos::kNoService);
  }
  opened_ = true;
  state_ = opos::kIdle;
  claimed_ = 0;
  deviceEnabled_ = 0;
  freezeEvents_ = 0;
  coFreezeEvents_ = 0;
  InterlockedExchange(&drawerOpened_, 0);
  return SetResult(opos::kSuccess);
}

long CashDrawer::Close() {
  ReleaseDevice();
  // The driver handle of an object opened but never claimed goes too.
  driverPort_.Close();
  opened_ = false;
  state_ = opos::kClosed;
  DetachControl();
  return SetResult(opos::kSuccess);
}

long CashDrawer::Claim(long) {
  if (!opened_) return SetResult(opos::kNotClaimed);
  // Release closed the driver: a Claim after it opens the driver again.
  if (!driverPort_.IsOpen() && !driverPort_.Open()) {
    return SetResult(opos::kFailure);
  }
  if (!claimed_) monitorArmed_ = true;
  claimed_ = 1;
  return SetResult(opos::kSuccess);
}

long CashDrawer::ReleaseDevice() {
  if (!claimed_) return SetResult(opos::kNotClaimed);
  // The monitor ends and is waited for first, wherever it waits (also on a
  // status event that the window would now never fire); then the window
  // and the driver handle, which it uses, go.
  StopMonitor();
  DestroyEventWindow();
  driverPort_.Close();
  monitorArmed_ = false;
  deviceEnabled_ = 0;
  claimed_ = 0;
  return SetResult(opos::kSuccess);
}

long CashDrawer::CheckHealth(long) {
  if (!claimed_) return SetResult(opos::kNotClaimed);
  return SetResult(opos::kSuccess);
}

long CashDrawer::DirectIO(long, long&, BSTR&) { return SetResult(opos::kIllegal); }

long CashDrawer::COFreezeEvents(bool freeze) {
  coFreezeEvents_ = freeze ? 1 : 0;
  return SetResult(opos::kSuccess);
}

long CashDrawer::DeviceMethod12() {
  if (!claimed_) return SetResult(opos::kNotClaimed);
  if (!deviceEnabled_) return SetResult(opos::kDisabled);
  InterlockedExchange(&drawerOpened_, 1);
  KickPulse(driverPort_, till_, kThisDrawer.kickValue);
  if (runEvent_) SetEvent(runEvent_.get());
  return SetResult(opos::kSuccess);
}

long CashDrawer::DeviceMethod13(long beepTimeout, long beepFrequency, long beepDuration, long beepDelay) {
  if (!claimed_) return SetResult(opos::kNotClaimed);
  if (!deviceEnabled_) return SetResult(opos::kDisabled);
  if (!capStatus_) return SetResult(opos::kFailure);
  // The wait reads the status register itself on every step: a monitor
  // waiting for this thread to fire its status event cannot hold it up.
  WaitForDrawerClose([this] { return ReadStatus(); }, till_,
                     BeepSettings{beepTimeout, beepFrequency, beepDuration, beepDelay});
  return SetResult(opos::kSuccess);
}

// ---- Status and monitor --------------------------------------------------

long CashDrawer::ReadStatus() {
  // Without an open device there is no register to read: the last value.
  if (!opened_ || !driverPort_.IsOpen()) {
    return InterlockedCompareExchange(&drawerOpened_, 0, 0);
  }
  const long opened = ReadDrawerOpened(driverPort_, kThisDrawer.statusMask);
  InterlockedExchange(&drawerOpened_, opened);
  return opened;
}

void CashDrawer::StartMonitor() {
  if (monitor_) return;
  if (!CreateEventWindow()) return;
  stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  runEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (stop_ && runEvent_) monitor_.reset(CreateThread(nullptr, 0, MonitorThreadProc, this, 0, nullptr));
  if (!monitor_) {
    stop_.reset();
    runEvent_.reset();
    return;
  }
  SetEvent(runEvent_.get());
}

void CashDrawer::StopMonitor() {
  if (stop_) SetEvent(stop_.get());
  if (monitor_) WaitForSingleObject(monitor_.get(), INFINITE);
  monitor_.reset();
  runEvent_.reset();
  stop_.reset();
}

DWORD WINAPI CashDrawer::MonitorThreadProc(void* self) {
  static_cast<CashDrawer*>(self)->MonitorThread();
  return 0;
}

void CashDrawer::MonitorThread() {
  const HANDLE stop = stop_.get();
  const HANDLE run = runEvent_.get();
  StatusReporter reporter;
  for (;;) {
    // Told to stop wins over the run event.
    const HANDLE waits[2] = {stop, run};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
    if (WaitForSingleObject(stop, kPollMs) != WAIT_TIMEOUT) return;
    const std::optional<std::uint8_t> status = driverPort_.ReadStatus();
    // A failed read counts as closed, as for every status read.
    const std::uint8_t masked = status ? static_cast<std::uint8_t>(*status & kThisDrawer.statusMask)
                                       : kThisDrawer.statusMask;
    const LONG opened = masked ? 0 : 1;
    InterlockedExchange(&drawerOpened_, opened);
    if (reporter.Changed(masked)) {
      ResetEvent(run);
      InterlockedExchange(&eventStatus_, opened);
      PostEventAndWait(opos::kEventStatus, stop);
      SetEvent(run);
    }
  }
}

void CashDrawer::FireEvent(long type) {
  if (type != opos::kEventStatus) return;
  VARIANT data;
  VariantInit(&data);
  V_VT(&data) = VT_I4;
  V_I4(&data) = InterlockedCompareExchange(&eventStatus_, 0, 0);
  RequestEvent(kSOStatusUpdate, {&data, 1});
}

}  // namespace cash
