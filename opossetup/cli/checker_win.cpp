#include "cli/checker_win.h"

#include <windows.h>
#include <ole2.h>

#include <climits>
#include <cstdio>
#include <memory>

#include "cardmask.h"
#include "handle_win.h"
#include "text_win.h"

namespace opos::cli {

namespace {

// The OPOS numbers the check uses.
constexpr long kPidxDataEventEnabled = 2;
constexpr long kPidxDeviceEnabled = 3;
constexpr long kPidxResultCode = 6;
constexpr long kPidxDrawerOpened = 1001;
constexpr long kPidxCheckHealthText = 1000001;
constexpr long kSuccess = 0;
constexpr long kIllegal = 106;
constexpr long kChInternal = 1;
constexpr long kChInteractive = 3;

// The control object's side: the event requests every service object
// resolves in OpenService, counted as they come.
class EventSink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }   // lives on the checking thread's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count != 1 || !names || !ids) return DISP_E_UNKNOWNNAME;
    for (DISPID i = 0; i < static_cast<DISPID>(std::size(kNames)); ++i) {
      if (lstrcmpiW(names[0], kNames[i]) == 0) {
        ids[0] = i + 1;
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id == kData) ++data;
    if (id == kError) ++errors;
    return S_OK;
  }

  int data = 0, errors = 0;

 private:
  static constexpr const wchar_t* kNames[] = {L"SOData", L"SOError", L"SOStatusUpdate", L"SODirectIO",
                                              L"SOOutputComplete"};
  static constexpr DISPID kData = 1, kError = 2;
};

VARIANT Long(long value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

VARIANT Text(const std::string& text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  const std::wstring wide = kit::FromUtf8(text);
  V_BSTR(&v) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return v;
}

VARIANT Dispatch(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = d;
  return v;
}

// A method by name, as a control object calls it; the arguments are freed.
HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT& result) {
  VariantInit(&result);
  DISPID id = 0;
  LPOLESTR names = const_cast<LPOLESTR>(name);
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    hr = object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
  }
  for (VARIANT& v : args) {
    if (V_VT(&v) != VT_DISPATCH) VariantClear(&v);
  }
  return hr;
}

// A long result, or LONG_MIN when the call itself failed.
long CallLong(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args = {}) {
  VARIANT result;
  const HRESULT hr = Call(object, name, std::move(args), result);
  const long value = SUCCEEDED(hr) && V_VT(&result) == VT_I4 ? V_I4(&result) : LONG_MIN;
  VariantClear(&result);
  return value;
}

std::string CallString(IDispatch* object, long index) {
  VARIANT result;
  std::string text;
  if (SUCCEEDED(Call(object, L"GetPropertyString", {Long(index)}, result)) && V_VT(&result) == VT_BSTR) {
    text = kit::ToUtf8(std::wstring_view(V_BSTR(&result), SysStringLen(V_BSTR(&result))));
  }
  VariantClear(&result);
  return text;
}

// Card bytes as they came (one character each), for the masking.
std::string CardBytes(IDispatch* object, long index) {
  VARIANT result;
  std::string bytes;
  if (SUCCEEDED(Call(object, L"GetPropertyString", {Long(index)}, result)) && V_VT(&result) == VT_BSTR) {
    for (UINT i = 0; i < SysStringLen(V_BSTR(&result)); ++i) bytes.push_back(static_cast<char>(V_BSTR(&result)[i]));
  }
  VariantClear(&result);
  return bytes;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// One device's check: its request, its report, and the step under way,
// which the program reads when the device does not answer in time.
struct DeviceRun {
  CheckRequest request;
  CheckOptions options;
  CheckReport report;
  CRITICAL_SECTION lock;
  std::string step;
  kit::UniqueHandle thread;

  DeviceRun() { InitializeCriticalSection(&lock); }
  ~DeviceRun() { DeleteCriticalSection(&lock); }
  void Enter(const char* name) {
    EnterCriticalSection(&lock);
    step = name;
    LeaveCriticalSection(&lock);
  }
  long Record(const char* name, long result) {
    EnterCriticalSection(&lock);
    report.steps.push_back({name, result});
    LeaveCriticalSection(&lock);
    return result;
  }
};

// Pumps this thread's messages (the service object's events come through
// them) until `done()` or the time is up.
template <typename Done>
bool PumpUntil(Done done, DWORD milliseconds) {
  const ULONGLONG until = GetTickCount64() + milliseconds;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= until) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
  }
}

void Drive(DeviceRun& run) {
  CheckReport& r = run.report;
  const DeviceInfo& device = Info(r.id);
  std::string failure;
  const auto fail = [&](const std::string& why) {
    if (failure.empty()) failure = why;
  };

  run.Enter("create");
  CLSID clsid{};
  IDispatch* so = nullptr;
  HRESULT hr = CLSIDFromProgID(kit::FromUtf8(r.progId).c_str(), &clsid);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&so));
  }
  if (FAILED(hr) || !so) {
    run.Record("create", hr);
    const bool notRegistered = hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG;
    if (notRegistered && r.id == DeviceId::kLineDisplay) {
      r.state = CheckState::kNotInstalled;
      r.failure = "no service object is installed as " + r.progId;
    } else {
      r.state = CheckState::kFailed;
      r.failure = notRegistered ? "no service object is registered as " + r.progId
                                : "its service object could not be created (" + Hex(hr) + ")";
    }
    return;
  }

  EventSink sink;
  run.Enter("OpenService");
  const long open = run.Record("OpenService", CallLong(so, L"OpenService", {Text(device.classKey),
                                                                               Text(device.deviceKey), Dispatch(&sink)}));
  if (open != kSuccess) {
    fail("OpenService answered " + std::to_string(open));
  } else {
    run.Enter("Claim");
    const long claim = run.Record("Claim", CallLong(so, L"Claim", {Long(1000)}));
    if (claim != kSuccess) {
      fail("Claim answered " + std::to_string(claim));
    } else {
      run.Enter("DeviceEnabled");
      CallLong(so, L"SetPropertyNumber", {Long(kPidxDeviceEnabled), Long(1)});
      run.Record("DeviceEnabled", CallLong(so, L"GetPropertyNumber", {Long(kPidxResultCode)}));
      if (CallLong(so, L"GetPropertyNumber", {Long(kPidxDeviceEnabled)}) != 1) fail("DeviceEnabled stayed 0");

      // The level each service object of the kit answers: the card reader
      // supports only the interactive one, which shows nothing.
      run.Enter("CheckHealth");
      const long level = r.id == DeviceId::kMsr ? kChInteractive : kChInternal;
      const long health = run.Record("CheckHealth", CallLong(so, L"CheckHealth", {Long(level)}));
      r.healthText = CallString(so, kPidxCheckHealthText);
      // 106 (illegal) is a service object that has no check at this level,
      // not an unhealthy device: what was asked of it so far worked.
      if (health != kSuccess && health != kIllegal) {
        fail("CheckHealth answered " + std::to_string(health) + (r.healthText.empty() ? "" : ": " + r.healthText));
      }

      if (r.id == DeviceId::kCashDrawer1 || r.id == DeviceId::kCashDrawer2) {
        run.Enter("DrawerOpened");
        const long opened = CallLong(so, L"GetPropertyNumber", {Long(kPidxDrawerOpened)});
        r.drawerOpened = opened == 1;
        run.Record("DrawerOpened", opened);
      }

      if (r.id == DeviceId::kMsr && run.options.swipeSeconds > 0 && failure.empty()) {
        run.Enter("swipe");
        CallLong(so, L"SetPropertyNumber", {Long(kPidxDataEventEnabled), Long(1)});
        PumpUntil([&] { return sink.data > 0 || sink.errors > 0; },
                  static_cast<DWORD>(run.options.swipeSeconds) * 1000);
        if (sink.data > 0) {
          // Only what the field trace may show of a card: the account
          // number's first six and last four digits.
          msr::CardStrings card;
          card[msr::kAccountNumber] = CardBytes(so, msr::kFirstCardStringIndex + msr::kAccountNumber);
          card[msr::kTrack1Data] = CardBytes(so, msr::kFirstCardStringIndex + msr::kTrack1Data);
          card[msr::kTrack2Data] = CardBytes(so, msr::kFirstCardStringIndex + msr::kTrack2Data);
          r.card = msr::MaskCardString(card, msr::kAccountNumber);
          run.Record("swipe", kSuccess);
        } else if (sink.errors > 0) {
          run.Record("swipe", 111);
          fail("the swiped card could not be read");
        } else {
          fail("no card was swiped within " + std::to_string(run.options.swipeSeconds) + " s");
        }
      }
      run.Enter("Release");
      const long release = run.Record("Release", CallLong(so, L"Release"));
      if (release != kSuccess) fail("Release answered " + std::to_string(release));
    }
  }
  run.Enter("Close");
  const long close = run.Record("Close", CallLong(so, L"Close"));
  if (close != kSuccess) fail("Close answered " + std::to_string(close));
  so->Release();
  r.failure = failure;
  r.state = failure.empty() ? CheckState::kHealthy : CheckState::kFailed;
}

DWORD WINAPI CheckThread(void* context) {
  auto& run = *static_cast<DeviceRun*>(context);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  try {
    Drive(run);
  } catch (...) {
    run.report.state = CheckState::kFailed;
    run.report.failure = "out of memory";
  }
  run.Enter("");
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

}  // namespace

std::vector<CheckReport> ServiceObjectChecker::Check(const std::vector<CheckRequest>& devices,
                                                     const CheckOptions& options) {
  // Every device at once, each on a thread of its own.
  std::vector<std::unique_ptr<DeviceRun>> runs;
  const ULONGLONG start = GetTickCount64();
  for (const CheckRequest& request : devices) {
    auto run = std::make_unique<DeviceRun>();
    run->request = request;
    run->options = options;
    run->report.id = request.id;
    run->report.progId = request.progId;
    run->thread.reset(CreateThread(nullptr, 0, CheckThread, run.get(), 0, nullptr));
    if (!run->thread) {
      run->report.failure = "no thread could be started for it";
      run->report.state = CheckState::kFailed;
    }
    runs.push_back(std::move(run));
  }
  std::vector<CheckReport> reports;
  for (std::unique_ptr<DeviceRun>& run : runs) {
    // Its time-out, and the time a card is waited for.
    const ULONGLONG allowed = static_cast<ULONGLONG>(options.timeoutSeconds) * 1000 +
                              (run->request.id == DeviceId::kMsr ? static_cast<ULONGLONG>(options.swipeSeconds) * 1000 : 0);
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now - start >= allowed ? 0 : static_cast<DWORD>(allowed - (now - start));
    if (!run->thread || WaitForSingleObject(run->thread.get(), left) == WAIT_OBJECT_0) {
      run->report.milliseconds = static_cast<long long>(GetTickCount64() - start);
      reports.push_back(run->report);
      continue;
    }
    // Stuck inside its service object: reported with the step it is in,
    // and its thread left to the program's end.
    CheckReport report;
    EnterCriticalSection(&run->lock);
    report.id = run->report.id;
    report.progId = run->report.progId;
    report.steps = run->report.steps;
    report.failure = "no answer within " + std::to_string(allowed / 1000) + " s (in " + run->step + ")";
    LeaveCriticalSection(&run->lock);
    report.state = CheckState::kFailed;
    report.milliseconds = static_cast<long long>(GetTickCount64() - start);
    reports.push_back(report);
    abandoned_ = true;
    run.release();  // the thread still uses it
  }
  return reports;
}

}  // namespace opos::cli
