// Stand-ins for the three OPOS control objects the setup program uses
// (CashDrawer, LineDisplay, MSR): creatable by the standard class
// identifiers and ProgIDs, answering the members the program calls by
// dispatch identifier and by name, and doing what a control object does
// between an application and a service object: find the device in the OPOS
// registry tree, create its service object by ProgID, call it late-bound by
// name, and fire the service object's event requests to the connected sinks.
#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "comserver_win.h"
#include "registry_win.h"
#include "text_win.h"

using namespace standin;

namespace {

// OPOS numbers the control objects use towards the service object.
constexpr long kSuccess = 0;
constexpr long kClosed = 101;
constexpr long kNoService = 104;
constexpr long kIllegal = 106;
constexpr long kPidxDataEventEnabled = 2;
constexpr long kPidxDeviceEnabled = 3;
constexpr long kPidxResultCode = 6;
constexpr long kPidxState = 9;
constexpr long kPidxDeviceName = 1000003;
constexpr long kPidxDrawerOpened = 1001;
constexpr long kPidxMsrDecodeData = 7001;
constexpr long kPidxMsrTracksToRead = 7003;

// Members by dispatch identifier.
enum : DISPID {
  kDataEvent = 1, kDirectIOEvent = 2, kErrorEvent = 3, kStatusUpdateEvent = 5,
  kDataEventEnabled = 16, kDeviceEnabled = 17, kResultCode = 22, kState = 24, kDeviceName = 30,
  kClaimDevice = 32, kClose = 35, kOpen = 37, kReleaseDevice = 38,
  kAccountNumber = 50, kDrawerOpened = 51, kMsrDecodeData = 55, kExpirationDate = 56, kFirstName = 57,
  kMiddleInitial = 58, kOpenDrawer = 60, kSurname = 63, kTrack1Data = 65, kTrack2Data = 67,
  kTrack3Data = 69, kTracksToRead = 70, kClearText = 81, kDisplayText = 84, kDisplayTextAt = 85,
  // The event requests a service object makes on its control object.
  kSOData = 9001, kSODirectIO = 9002, kSOError = 9003, kSOOutputComplete = 9004, kSOStatusUpdate = 9005,
};

enum class Kind { kCashDrawer, kLineDisplay, kMsr };

struct ClassInfo {
  Kind kind;
  CLSID clsid;
  IID events;  // the source dispinterface
  const char* progId;
  const char* classKey;
  const wchar_t* classKeyW;
};

const ClassInfo kClasses[] = {
    {Kind::kCashDrawer,
     {0xCCB90042, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}},
     {0x5D0E7A10, 0x3C51, 0x4B8E, {0x9A, 0x61, 0x2F, 0x0B, 0x4E, 0x61, 0xC0, 0x01}},
     "OPOS.CashDrawer", "CashDrawer", L"CashDrawer"},
    {Kind::kLineDisplay,
     {0xCCB90102, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}},
     {0x5D0E7A10, 0x3C51, 0x4B8E, {0x9A, 0x61, 0x2F, 0x0B, 0x4E, 0x61, 0xC0, 0x02}},
     "OPOS.LineDisplay", "LineDisplay", L"LineDisplay"},
    {Kind::kMsr,
     {0xCCB90122, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}},
     {0x5D0E7A10, 0x3C51, 0x4B8E, {0x9A, 0x61, 0x2F, 0x0B, 0x4E, 0x61, 0xC0, 0x03}},
     "OPOS.MSR", "MSR", L"MSR"},
};

const std::vector<DispatchName>& Names(Kind kind) {
  static const std::vector<DispatchName> common = {
      {L"Open", kOpen}, {L"ClaimDevice", kClaimDevice}, {L"DeviceEnabled", kDeviceEnabled},
      {L"ReleaseDevice", kReleaseDevice}, {L"Close", kClose}, {L"ResultCode", kResultCode},
      {L"State", kState}, {L"DeviceName", kDeviceName}, {L"DataEventEnabled", kDataEventEnabled},
      {L"SOData", kSOData}, {L"SODirectIO", kSODirectIO}, {L"SOError", kSOError},
      {L"SOOutputComplete", kSOOutputComplete}, {L"SOStatusUpdate", kSOStatusUpdate}};
  static const auto with = [](std::vector<DispatchName> more) {
    more.insert(more.end(), common.begin(), common.end());
    return more;
  };
  static const std::vector<DispatchName> drawer = with({{L"OpenDrawer", kOpenDrawer}, {L"DrawerOpened", kDrawerOpened}});
  static const std::vector<DispatchName> display =
      with({{L"ClearText", kClearText}, {L"DisplayText", kDisplayText}, {L"DisplayTextAt", kDisplayTextAt}});
  static const std::vector<DispatchName> msr = with(
      {{L"AccountNumber", kAccountNumber}, {L"DecodeData", kMsrDecodeData}, {L"ExpirationDate", kExpirationDate},
       {L"FirstName", kFirstName}, {L"MiddleInitial", kMiddleInitial}, {L"Surname", kSurname},
       {L"Track1Data", kTrack1Data}, {L"Track2Data", kTrack2Data}, {L"Track3Data", kTrack3Data},
       {L"TracksToRead", kTracksToRead}});
  switch (kind) {
    case Kind::kCashDrawer: return drawer;
    case Kind::kLineDisplay: return display;
    default: return msr;
  }
}

long ToLong(VARIANT& v, long failure) {
  if (FAILED(VariantChangeType(&v, &v, 0, VT_I4))) {
    VariantClear(&v);
    return failure;
  }
  return v.lVal;
}

class EnumPoints;

template <int kClass>
class Control final : public IDispatch,
                public IConnectionPointContainer,
                public IConnectionPoint,
                public IProvideClassInfo2 {
 public:
  Control() { LockModule(); }

  // ---- IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
      *out = static_cast<IConnectionPointContainer*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPoint)) {
      *out = static_cast<IConnectionPoint*>(this);
    } else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2)) {
      *out = static_cast<IProvideClassInfo2*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      refs_ = 1;  // closing calls the service object, which may hand us around
      if (so_) CloseDevice();
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  // ---- IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return IdsOfNames(Names(Info().kind), names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

  // ---- IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, Info().events)) return CONNECT_E_NOCONNECTION;
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }

  // ---- IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = Info().events;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = static_cast<IConnectionPointContainer*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(Info().events, reinterpret_cast<void**>(&events)))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    sinks_.push_back(events);
    *cookie = static_cast<DWORD>(sinks_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1]) return CONNECT_E_NOCONNECTION;
    sinks_[cookie - 1]->Release();
    sinks_[cookie - 1] = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  // ---- IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = Info().events;
    return S_OK;
  }

  static const ClassInfo& Info() { return kClasses[kClass]; }

 private:
  ~Control() {
    for (IDispatch* sink : sinks_) {
      if (sink) sink->Release();
    }
    UnlockModule();
  }

  long Result(long code) { return result_ = code; }

  // A service-object method with a fall-back name ("ClaimDevice", then "Claim").
  long CallSo(const wchar_t* name, const wchar_t* fallback, std::vector<VARIANT> args) {
    if (!so_) return Result(kClosed);
    VARIANT r;
    VariantInit(&r);
    bool found = false;
    std::vector<VARIANT> copy(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
      VariantInit(&copy[i]);
      VariantCopy(&copy[i], &args[i]);
    }
    HRESULT hr = CallByName(so_, name, std::move(args), &r, &found);
    if (!found && fallback) {
      hr = CallByName(so_, fallback, std::move(copy), &r, &found);
    } else {
      for (VARIANT& v : copy) VariantClear(&v);
    }
    if (FAILED(hr)) return Result(kIllegal);
    return Result(r.vt == VT_EMPTY ? kSuccess : ToLong(r, kIllegal));
  }

  long SoNumber(long pidx) {
    if (!so_) return 0;
    VARIANT r;
    VariantInit(&r);
    if (FAILED(CallByName(so_, L"GetPropertyNumber", {LongArg(pidx)}, &r))) return 0;
    return ToLong(r, 0);
  }
  void SetSoNumber(long pidx, long value) {
    if (!so_) {
      Result(kClosed);
      return;
    }
    CallByName(so_, L"SetPropertyNumber", {LongArg(pidx), LongArg(value)}, nullptr);
    result_ = SoNumber(kPidxResultCode);
  }
  std::wstring SoString(long pidx) {
    if (!so_) return L"";
    VARIANT r;
    VariantInit(&r);
    std::wstring text;
    if (SUCCEEDED(CallByName(so_, L"GetPropertyString", {LongArg(pidx)}, &r)) &&
        SUCCEEDED(VariantChangeType(&r, &r, 0, VT_BSTR)) && r.bstrVal) {
      text.assign(r.bstrVal, SysStringLen(r.bstrVal));
    }
    VariantClear(&r);
    return text;
  }

  long OpenDevice(const std::wstring& name);
  long CloseDevice() {
    const long rc = CallSo(L"CloseService", L"Close", {});
    if (so_) so_->Release();
    so_ = nullptr;
    return rc;
  }

  void Fire(DISPID id, std::vector<VARIANT> args) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    // A sink may disconnect while it handles the event: walk a copy.
    std::vector<IDispatch*> sinks;
    for (IDispatch* sink : sinks_) {
      if (sink) {
        sink->AddRef();
        sinks.push_back(sink);
      }
    }
    for (IDispatch* sink : sinks) {
      sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
      sink->Release();
    }
  }

  LONG refs_ = 1;
  IDispatch* so_ = nullptr;
  long result_ = kClosed;
  std::vector<IDispatch*> sinks_;
};

template <int kClass>
long Control<kClass>::OpenDevice(const std::wstring& name) {
  if (so_) return Result(kIllegal);
  const std::string classPath = std::string("SOFTWARE\\OLEforRetail\\ServiceOPOS\\") + Info().classKey;
  std::string device = kit::ToAnsi(name);
  kit::UniqueKey key;
  if (kit::OpenKey(HKEY_LOCAL_MACHINE, classPath + "\\" + device, KEY_READ, key) != ERROR_SUCCESS) {
    // A custom device name: a value of the class key naming the device key.
    kit::UniqueKey classKey;
    if (kit::OpenKey(HKEY_LOCAL_MACHINE, classPath, KEY_READ, classKey) != ERROR_SUCCESS) return Result(kNoService);
    const auto target = kit::QueryString(classKey.get(), device.c_str());
    if (!target || kit::OpenKey(HKEY_LOCAL_MACHINE, classPath + "\\" + *target, KEY_READ, key) != ERROR_SUCCESS) {
      return Result(kNoService);
    }
    device = *target;
  }
  auto progId = kit::QueryString(key.get(), "");
  // Tests may put a fake service object behind a device: OPOS_STANDIN_<class>_SO.
  char fake[128] = {};
  const std::string override = std::string("OPOS_STANDIN_") + Info().classKey + "_SO";
  if (GetEnvironmentVariableA(override.c_str(), fake, sizeof fake)) progId = fake;
  CLSID clsid;
  if (!progId || FAILED(CLSIDFromProgID(kit::FromAnsi(*progId).c_str(), &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&so_)))) {
    so_ = nullptr;
    return Result(kNoService);
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_DISPATCH;
  self.pdispVal = static_cast<IDispatch*>(this);
  AddRef();
  VARIANT r;
  VariantInit(&r);
  const HRESULT hr = CallByName(so_, L"OpenService",
                                {TextArg(Info().classKeyW), TextArg(kit::FromAnsi(device)), self}, &r);
  const long rc = SUCCEEDED(hr) ? ToLong(r, kNoService) : kNoService;
  if (rc != kSuccess) {
    so_->Release();
    so_ = nullptr;
  }
  return Result(rc);
}

template <int kClass>
HRESULT Control<kClass>::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO*, UINT*) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const auto returnLong = [&](long value) {
    if (result) {
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = value;
    }
    return S_OK;
  };
  const auto returnBool = [&](bool value) {
    if (result) {
      VariantInit(result);
      result->vt = VT_BOOL;
      result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  };
  const auto returnText = [&](const std::wstring& value) {
    if (result) *result = TextArg(value);
    return S_OK;
  };
  long n = 0, m = 0, k = 0;
  bool b = false;
  std::wstring text;
  const Kind kind = Info().kind;
  switch (id) {
    case kOpen:
      if (!ArgString(params, 0, text)) return DISP_E_BADPARAMCOUNT;
      return returnLong(OpenDevice(text));
    case kClaimDevice:
      if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
      return returnLong(CallSo(L"ClaimDevice", L"Claim", {LongArg(n)}));
    case kReleaseDevice:
      return returnLong(CallSo(L"ReleaseDevice", L"Release", {}));
    case kClose:
      return returnLong(so_ ? CloseDevice() : Result(kClosed));
    case kDeviceEnabled:
    case kDataEventEnabled: {
      const long pidx = id == kDeviceEnabled ? kPidxDeviceEnabled : kPidxDataEventEnabled;
      if (put) {
        if (!ArgBool(params, 0, b)) return DISP_E_TYPEMISMATCH;
        SetSoNumber(pidx, b ? 1 : 0);
        return S_OK;
      }
      return returnBool(SoNumber(pidx) != 0);
    }
    case kResultCode:
      return returnLong(so_ ? SoNumber(kPidxResultCode) : result_);
    case kState:
      return returnLong(so_ ? SoNumber(kPidxState) : 1);
    case kDeviceName:
      return returnText(SoString(kPidxDeviceName));
    // Event requests of the service object.
    case kSOData:
      if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
      Fire(kDataEvent, {LongArg(n)});
      return S_OK;
    case kSOStatusUpdate:
      if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
      Fire(kStatusUpdateEvent, {LongArg(n)});
      return S_OK;
    case kSOError: {
      if (!ArgLong(params, 0, n) || !ArgLong(params, 1, m) || !ArgLong(params, 2, k)) return DISP_E_BADPARAMCOUNT;
      // The response goes back through the service object's reference.
      long response = 0;
      VARIANT* byRef = params->cArgs >= 4 ? &params->rgvarg[0] : nullptr;
      if (byRef && byRef->vt == (VT_I4 | VT_BYREF)) response = *byRef->plVal;
      VARIANT ref;
      VariantInit(&ref);
      ref.vt = VT_I4 | VT_BYREF;
      ref.plVal = &response;
      Fire(kErrorEvent, {LongArg(n), LongArg(m), LongArg(k), ref});
      if (byRef && byRef->vt == (VT_I4 | VT_BYREF)) *byRef->plVal = response;
      return S_OK;
    }
    case kSODirectIO:
    case kSOOutputComplete:
      return S_OK;
    default:
      break;
  }
  if (kind == Kind::kCashDrawer) {
    switch (id) {
      case kOpenDrawer: return returnLong(CallSo(L"OpenDrawer", nullptr, {}));
      case kDrawerOpened: return returnBool(SoNumber(kPidxDrawerOpened) != 0);
      default: break;
    }
  } else if (kind == Kind::kLineDisplay) {
    switch (id) {
      case kClearText: return returnLong(CallSo(L"ClearText", nullptr, {}));
      case kDisplayText:
        if (!ArgString(params, 0, text) || !ArgLong(params, 1, n)) return DISP_E_BADPARAMCOUNT;
        return returnLong(CallSo(L"DisplayText", nullptr, {TextArg(text), LongArg(n)}));
      case kDisplayTextAt:
        if (!ArgLong(params, 0, n) || !ArgLong(params, 1, m) || !ArgString(params, 2, text) ||
            !ArgLong(params, 3, k)) {
          return DISP_E_BADPARAMCOUNT;
        }
        return returnLong(CallSo(L"DisplayTextAt", nullptr, {LongArg(n), LongArg(m), TextArg(text), LongArg(k)}));
      default: break;
    }
  } else {
    const auto number = [&](long pidx) -> HRESULT {
      if (put) {
        if (!ArgLong(params, 0, n)) return DISP_E_TYPEMISMATCH;
        SetSoNumber(pidx, n);
        return S_OK;
      }
      return returnLong(SoNumber(pidx));
    };
    switch (id) {
      case kTracksToRead: return number(kPidxMsrTracksToRead);
      case kMsrDecodeData: return number(kPidxMsrDecodeData);
      case kAccountNumber: return returnText(SoString(1007001));
      case kExpirationDate: return returnText(SoString(1007002));
      case kFirstName: return returnText(SoString(1007003));
      case kMiddleInitial: return returnText(SoString(1007004));
      case kSurname: return returnText(SoString(1007007));
      case kTrack1Data: return returnText(SoString(1007009));
      case kTrack2Data: return returnText(SoString(1007011));
      case kTrack3Data: return returnText(SoString(1007013));
      default: break;
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

// The one connection point, listed.
class EnumPoints final : public IEnumConnectionPoints {
 public:
  explicit EnumPoints(IConnectionPoint* point) : point_(point) { point_->AddRef(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnectionPoints)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      point_->Release();
      delete this;
    }
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && !done_) {
      out[0] = point_;
      point_->AddRef();
      done_ = true;
      n = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (count > 0) done_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    done_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints**) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
  IConnectionPoint* point_;
  bool done_ = false;
};

template <int kClass>
HRESULT Control<kClass>::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) EnumPoints(static_cast<IConnectionPoint*>(this));
  return *out ? S_OK : E_OUTOFMEMORY;
}

ClassFactory<Control<0>> g_drawerFactory;
ClassFactory<Control<1>> g_displayFactory;
ClassFactory<Control<2>> g_msrFactory;

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IClassFactory* factory = nullptr;
  if (IsEqualCLSID(clsid, kClasses[0].clsid)) factory = &g_drawerFactory;
  if (IsEqualCLSID(clsid, kClasses[1].clsid)) factory = &g_displayFactory;
  if (IsEqualCLSID(clsid, kClasses[2].clsid)) factory = &g_msrFactory;
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return g_moduleLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  for (const ClassInfo& info : kClasses) {
    const HRESULT hr = RegisterClass(info.clsid, info.progId, info.progId);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (const ClassInfo& info : kClasses) UnregisterClass(info.clsid, info.progId);
  return S_OK;
}

}  // extern "C"
