#include "serviceobject_win.h"

#include <oleauto.h>

#include <cstdio>

#include "guard.h"
#include "registry_win.h"
#include "text_win.h"

namespace oposso {

namespace {

LONG g_locks = 0;
const wchar_t kEventWindowClass[] = L"KvSoEventWindow";

}  // namespace

void LockModule() { InterlockedIncrement(&g_locks); }
void UnlockModule() { InterlockedDecrement(&g_locks); }
LONG ModuleLocks() { return InterlockedCompareExchange(&g_locks, 0, 0); }

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&g_locks), &module);
  return module;
}

ServiceObject::ServiceObject(std::span<const opos::Method> methods) : methods_(methods) { LockModule(); }

ServiceObject::~ServiceObject() { UnlockModule(); }

HRESULT ServiceObject::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ServiceObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG ServiceObject::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) {
    FinalRelease();
    delete this;
  }
  return static_cast<ULONG>(left);
}

HRESULT ServiceObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT ServiceObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT ServiceObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (count == 0) return S_OK;
  for (const opos::Method& m : methods_) {
    if (opos::SameName(names[0], m.name)) ids[0] = m.dispid;
  }
  if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  // The methods take no named arguments: any further name is unknown.
  if (count > 1) hr = DISP_E_UNKNOWNNAME;
  return hr;
}

HRESULT ServiceObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO*, UINT* argErr) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const opos::Method* method = nullptr;
  for (const opos::Method& m : methods_) {
    if (m.dispid == id) method = &m;
  }
  if (!method || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != method->paramCount) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs != 0 && !params->rgvarg) return E_INVALIDARG;

  // Arguments in their natural order; by-value ones converted to the
  // parameter's type, by-reference ones checked and passed through.
  VARIANT args[opos::kMaxParams];
  for (VARIANT& a : args) VariantInit(&a);
  HRESULT hr = S_OK;
  std::size_t i = 0;
  for (; i < method->paramCount && SUCCEEDED(hr); ++i) {
    VARIANT* given = &params->rgvarg[method->paramCount - 1 - i];
    VARTYPE want = VT_EMPTY;
    switch (method->params[i]) {
      case opos::Param::kLong: want = VT_I4; break;
      case opos::Param::kBstr: want = VT_BSTR; break;
      case opos::Param::kDispatch: want = VT_DISPATCH; break;
      case opos::Param::kBool: want = VT_BOOL; break;
      case opos::Param::kLongRef: want = VT_I4 | VT_BYREF; break;
      case opos::Param::kBstrRef: want = VT_BSTR | VT_BYREF; break;
    }
    VARIANT* value = given;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
    if (V_VT(value) == VT_ERROR && V_ERROR(value) == DISP_E_PARAMNOTFOUND) {
      hr = DISP_E_PARAMNOTOPTIONAL;
    } else if (want & VT_BYREF) {
      if (V_VT(value) != want || !V_BYREF(value)) {
        hr = DISP_E_TYPEMISMATCH;
      } else {
        args[i] = *value;  // the caller's pointer, not owned
      }
    } else if (want == VT_DISPATCH && (V_VT(value) == VT_EMPTY || V_VT(value) == VT_NULL)) {
      V_VT(&args[i]) = VT_DISPATCH;
      V_DISPATCH(&args[i]) = nullptr;
    } else if (FAILED(VariantChangeType(&args[i], value, 0, want))) {
      hr = DISP_E_TYPEMISMATCH;
    }
  }
  if (FAILED(hr)) {
    if (argErr) *argErr = static_cast<UINT>(method->paramCount - i);
  } else {
    // No exception reaches the application (out of memory: E_OUTOFMEMORY).
    hr = CallGuarded([&] { return CallMethod(*method, args, result, argErr); });
  }
  if (trace_.On(trace::kCalls)) TraceCall(*method, args, result, hr);
  // A closed object holds no file open.
  if (method->dispid == opos::kClose) trace_.CloseFile();
  for (std::size_t k = 0; k < method->paramCount; ++k) {
    if ((V_VT(&args[k]) & VT_BYREF) == 0) VariantClear(&args[k]);
  }
  return hr;
}

HRESULT ServiceObject::CallMethod(const opos::Method& m, VARIANT* args, VARIANT* result, UINT*) {
  long value = 0;
  std::wstring text;
  switch (m.dispid) {
    case opos::kGetPropertyNumber: value = GetPropertyNumber(V_I4(&args[0])); break;
    case opos::kSetPropertyNumber: SetPropertyNumber(V_I4(&args[0]), V_I4(&args[1])); break;
    case opos::kGetPropertyString: text = GetPropertyString(V_I4(&args[0])); break;
    case opos::kSetPropertyString: SetPropertyString(V_I4(&args[0]), V_BSTR(&args[1])); break;
    case opos::kOpenService:
      value = OpenService(V_BSTR(&args[0]), V_BSTR(&args[1]), V_DISPATCH(&args[2]));
      break;
    case opos::kClose: value = Close(); break;
    case opos::kClaim: value = Claim(V_I4(&args[0])); break;
    case opos::kRelease: value = ReleaseDevice(); break;
    case opos::kCheckHealth: value = CheckHealth(V_I4(&args[0])); break;
    case opos::kDirectIO: {
      long data = *V_I4REF(&args[1]);
      BSTR bstr = *V_BSTRREF(&args[2]);
      value = DirectIO(V_I4(&args[0]), data, bstr);
      *V_I4REF(&args[1]) = data;
      *V_BSTRREF(&args[2]) = bstr;
      break;
    }
    case opos::kCOFreezeEvents: value = COFreezeEvents(V_BOOL(&args[0]) != VARIANT_FALSE); break;
    case opos::kDeviceMethod12: value = DeviceMethod12(); break;
    case opos::kDeviceMethod13:
      value = DeviceMethod13(V_I4(&args[0]), V_I4(&args[1]), V_I4(&args[2]), V_I4(&args[3]));
      break;
    default: return DISP_E_MEMBERNOTFOUND;
  }
  if (!result) return S_OK;
  VariantInit(result);
  if (m.returns == opos::Returns::kLong) {
    V_VT(result) = VT_I4;
    V_I4(result) = value;
  } else if (m.returns == opos::Returns::kBstr) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!V_BSTR(result)) return E_OUTOFMEMORY;
  }
  return S_OK;
}

bool ServiceObject::BeginOpenService(const char* classKeyPath, const wchar_t* deviceName, IDispatch* control,
                                     std::span<const char* const> eventNames, kit::UniqueKey& key) {
  const std::wstring device = deviceName ? deviceName : L"";
  const std::string path = classKeyPath + kit::ToAnsi(device);
  const LONG rc = kit::OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ, key);
  if (rc != ERROR_SUCCESS) {
    // No device key, no level of its own: the kit's own key may ask for a
    // trace of devices that cannot be found.
    kit::UniqueKey kitKey;
    kit::OpenKey(HKEY_LOCAL_MACHINE, kKitKey, KEY_READ, kitKey);
    trace_.Start(device, trace::LevelFrom(kitKey ? kit::QueryDword(kitKey.get(), "TraceLevel") : std::nullopt));
    trace_.WriteMade(trace::kCalls, [&] {
      return "OpenService: the device key " + trace::Quoted("HKEY_LOCAL_MACHINE\\" + path) + RegistryView() +
             " could not be opened (error " + std::to_string(rc) + ")";
    });
    return false;
  }
  trace_.Start(device, trace::LevelFrom(kit::QueryDword(key.get(), "TraceLevel")));
  return AttachControl(control, eventNames);
}

std::string ServiceObject::RegistryView() {
#ifdef _WIN64
  return {};
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? " (in the 32-bit registry view)" : "";
#endif
}

// ---- Field trace ---------------------------------------------------------

std::string ServiceObject::TraceText(long, const std::wstring& text) { return trace::Quoted(kit::ToUtf8(text)); }

void ServiceObject::TraceCall(const opos::Method& m, const VARIANT* args, const VARIANT* result,
                              HRESULT hr) noexcept {
  trace_.WriteMade(trace::kCalls, [&] { return CallEntry(m, args, result, hr); });
}

std::string ServiceObject::CallEntry(const opos::Method& m, const VARIANT* args, const VARIANT* result, HRESULT hr) {
  std::string entry = m.name;
  entry += '(';
  long index = 0;
  for (std::size_t i = 0; i < m.paramCount; ++i) {
    if (i) entry += ", ";
    const VARIANT& a = args[i];
    switch (V_VT(&a)) {
      case VT_I4:
        entry += std::to_string(V_I4(&a));
        if (i == 0) index = V_I4(&a);
        break;
      case VT_BOOL: entry += V_BOOL(&a) ? "true" : "false"; break;
      case VT_DISPATCH: entry += V_DISPATCH(&a) ? "IDispatch" : "null"; break;
      case VT_BSTR:
        // The application's own strings: their length only (SetPropertyString, DirectIO).
        entry += m.dispid == opos::kOpenService ? trace::Quoted(kit::ToUtf8(V_BSTR(&a) ? V_BSTR(&a) : L""))
                                                 : trace::Length(SysStringLen(V_BSTR(&a)));
        break;
      case VT_I4 | VT_BYREF:
        entry += '&';
        entry += std::to_string(*V_I4REF(&a));
        break;
      case VT_BSTR | VT_BYREF:
        entry += '&';
        entry += trace::Length(*V_BSTRREF(&a) ? SysStringLen(*V_BSTRREF(&a)) : 0u);
        break;
      default: entry += "?"; break;
    }
  }
  entry += ')';
  if (FAILED(hr)) {
    char code[32];
    std::snprintf(code, sizeof code, " refused 0x%08lX", static_cast<unsigned long>(hr));
    entry += code;
  } else if (result && V_VT(result) == VT_I4) {
    entry += " -> ";
    entry += std::to_string(V_I4(result));
  } else if (result && V_VT(result) == VT_BSTR) {
    entry += " -> ";
    entry += TraceText(index, V_BSTR(result) ? V_BSTR(result) : L"");
  }
  char codes[80];
  std::snprintf(codes, sizeof codes, " [ResultCode %ld, ResultCodeExtended %ld]", resultCode_, resultCodeExtended_);
  return entry + codes;
}

// ---- The control object ------------------------------------------------

bool ServiceObject::AttachControl(IDispatch* control, std::span<const char* const> names) {
  control_ = control;
  eventCount_ = 0;
  if (!control_ || names.size() > std::size(eventIds_)) {
    control_ = nullptr;
    trace_.Write(trace::kCalls, "OpenService: no control object was given");
    return false;
  }
  eventNames_.assign(names.begin(), names.end());
  for (const char* name : names) {
    wchar_t wide[64] = {};
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 63);
    LPOLESTR one = wide;
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = control_->GetIDsOfNames(IID_NULL, &one, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr)) {
      control_ = nullptr;
      eventCount_ = 0;
      trace_.WriteMade(trace::kCalls, [&] {
        char code[64];
        std::snprintf(code, sizeof code, " (GetIDsOfNames 0x%08lX)", static_cast<unsigned long>(hr));
        return std::string("OpenService: the control object does not know the event \"") + name + "\"" + code;
      });
      return false;
    }
    eventIds_[eventCount_++] = id;
  }
  return true;
}

void ServiceObject::DetachControl() {
  control_ = nullptr;
  eventCount_ = 0;
}

HRESULT ServiceObject::RequestEvent(std::size_t which, std::span<VARIANT> args) {
  if (!control_ || which >= eventCount_ || args.size() > 8) return E_UNEXPECTED;
  VARIANT reversed[8];
  for (std::size_t i = 0; i < args.size(); ++i) reversed[i] = args[args.size() - 1 - i];
  DISPPARAMS dp{reversed, nullptr, static_cast<UINT>(args.size()), 0};
  const HRESULT hr = control_->Invoke(eventIds_[which], IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &dp,
                                      nullptr, nullptr, nullptr);
  trace_.WriteMade(trace::kCalls, [&] {
    std::string entry = "event ";
    entry += which < eventNames_.size() ? eventNames_[which] : std::string("?");
    entry += '(';
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i) entry += ", ";
      if (V_VT(&args[i]) == (VT_I4 | VT_BYREF)) entry += '&';
      if (V_VT(&args[i]) == VT_I4) entry += std::to_string(V_I4(&args[i]));
      if (V_VT(&args[i]) == (VT_I4 | VT_BYREF)) entry += std::to_string(*V_I4REF(&args[i]));
    }
    char code[32];
    std::snprintf(code, sizeof code, ") -> 0x%08lX", static_cast<unsigned long>(hr));
    return entry + code;
  });
  return hr;
}

// ---- Event window ------------------------------------------------------

bool ServiceObject::CreateEventWindow() {
  if (window_) return true;
  WNDCLASSW wc{};
  wc.lpfnWndProc = EventWindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = kEventWindowClass;
  RegisterClassW(&wc);  // fails harmlessly when already registered
  // A message-only window: no broadcast reaches it, and it is never shown.
  window_ = CreateWindowExW(0, kEventWindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            ModuleInstance(), this);
  return window_ != nullptr;
}

void ServiceObject::DestroyEventWindow() {
  if (window_) {
    destroyingWindow_ = true;
    SendMessageW(window_, opos::kWmSoEvent, 1, 0);
    destroyingWindow_ = false;
    window_ = nullptr;
    // The class names this module's window procedure: drop it so that a
    // module loaded again later registers its own.
    UnregisterClassW(kEventWindowClass, ModuleInstance());
  }
}

bool ServiceObject::PostEventAndWait(long type, HANDLE stop) {
  HWND window = window_;
  if (!window || !fireDone_) return false;
  // A fire-done left set by an event whose waiter already gave up must not
  // count for this one.
  ResetEvent(fireDone_.get());
  InterlockedExchange(&pendingEvent_, type);
  if (!PostMessageW(window, opos::kWmSoEvent, 0, type)) {
    InterlockedExchange(&pendingEvent_, 0);
    return false;
  }
  const HANDLE waits[2] = {fireDone_.get(), stop};
  const bool fired = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
  InterlockedExchange(&pendingEvent_, 0);
  return fired;
}

void ServiceObject::OnEventMessage(HWND hwnd, WPARAM wp, LPARAM lp) {
  if (wp == 1) {
    if (destroyingWindow_) DestroyWindow(hwnd);
    return;
  }
  // Only the event a worker is waiting for, once: a message posted by
  // anyone else finds nothing pending, or the same event already fired.
  const LONG type = static_cast<LONG>(lp);
  if (wp != 0 || type == 0 || InterlockedCompareExchange(&pendingEvent_, 0, type) != type) return;
  // The application may close and release this object inside its event
  // handler: the reference keeps it alive until the firing is complete.
  AddRef();
  // Nothing the firing throws (out of memory) leaves the window procedure.
  CallGuarded([&] {
    FireEvent(type);
    return S_OK;
  });
  // Set whatever the control object answered, so the worker never waits
  // for ever.
  SetEvent(fireDone_.get());
  Release();
}

LRESULT CALLBACK ServiceObject::EventWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_NCCREATE) {
    const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<ServiceObject*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == opos::kWmSoEvent) {
    if (self) self->OnEventMessage(hwnd, wp, lp);
    return 1;
  }
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace oposso
