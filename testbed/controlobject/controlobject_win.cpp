#include "controlobject_win.h"

#include <climits>
#include <cstdio>

namespace testbed {

namespace {
const char* const kEventNames[] = {"SOData", "SOError", "SOStatusUpdate", "SODirectIO"};
}

HRESULT ControlObject::QueryInterface(REFIID riid, void** out) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT ControlObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  {
    EnterCriticalSection(&lock_);
    lcids.push_back(lcid);
    LeaveCriticalSection(&lock_);
  }
  if (count != 1) return DISP_E_UNKNOWNNAME;
  for (int i = 0; i < 4; ++i) {
    const std::string name = kEventNames[i];
    if (name == unknown_) continue;
    if (std::wstring(names[0]) == std::wstring(name.begin(), name.end())) {
      ids[0] = 100 + i;
      return S_OK;
    }
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT ControlObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  if (id < 100 || id > 103) return DISP_E_MEMBERNOTFOUND;
  EventCall call{kEventNames[id - 100], {}, GetCurrentThreadId(), 0};
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  call.time = now.QuadPart;
  for (UINT i = params->cArgs; i-- > 0;) {
    const VARIANT& v = params->rgvarg[i];
    if (V_VT(&v) == VT_I4) call.args.push_back(V_I4(&v));
    else if (V_VT(&v) == (VT_I4 | VT_BYREF)) call.args.push_back(*V_I4REF(&v));
    else call.args.push_back(LONG_MIN);
  }
  EnterCriticalSection(&lock_);
  calls_.push_back(call);
  LeaveCriticalSection(&lock_);
  if (onEvent) onEvent(onEventContext, call);
  return S_OK;
}

std::vector<EventCall> ControlObject::Calls() {
  EnterCriticalSection(&lock_);
  std::vector<EventCall> copy = calls_;
  LeaveCriticalSection(&lock_);
  return copy;
}

std::size_t ControlObject::Count(const std::string& name) {
  std::size_t n = 0;
  for (const EventCall& c : Calls()) n += c.name == name;
  return n;
}

void ControlObject::Clear() {
  EnterCriticalSection(&lock_);
  calls_.clear();
  LeaveCriticalSection(&lock_);
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names = const_cast<LPOLESTR>(name);
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS dp{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (result) VariantInit(result);
  hr = object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &dp, result, nullptr, nullptr);
  for (VARIANT& v : args) {
    if ((V_VT(&v) & VT_BYREF) == 0) VariantClear(&v);
  }
  return hr;
}

long CallLong(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args) {
  VARIANT result;
  if (FAILED(CallByName(object, name, std::move(args), &result)) || V_VT(&result) != VT_I4) {
    VariantClear(&result);
    return LONG_MIN;
  }
  return V_I4(&result);
}

std::wstring CallString(IDispatch* object, const wchar_t* name, long index) {
  VARIANT result;
  if (FAILED(CallByName(object, name, {Long(index)}, &result)) || V_VT(&result) != VT_BSTR) {
    VariantClear(&result);
    return L"<failed>";
  }
  std::wstring text(V_BSTR(&result), SysStringLen(V_BSTR(&result)));
  VariantClear(&result);
  return text;
}

VARIANT Long(long v) {
  VARIANT r;
  VariantInit(&r);
  V_VT(&r) = VT_I4;
  V_I4(&r) = v;
  return r;
}

VARIANT Text(const wchar_t* s) {
  VARIANT r;
  VariantInit(&r);
  V_VT(&r) = VT_BSTR;
  V_BSTR(&r) = SysAllocString(s);
  return r;
}

VARIANT Dispatch(IDispatch* d) {
  VARIANT r;
  VariantInit(&r);
  V_VT(&r) = VT_DISPATCH;
  V_DISPATCH(&r) = d;
  if (d) d->AddRef();
  return r;
}

std::string RegisterServer(const std::wstring& dllPath, DWORD timeoutMs) {
  std::string dll(dllPath.size(), '?');
  for (std::size_t i = 0; i < dllPath.size(); ++i) {
    if (dllPath[i] < 0x80) dll[i] = static_cast<char>(dllPath[i]);
  }
  const std::string what = "regsvr32 /s " + dll + ": ";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = L"regsvr32.exe /s \"" + dllPath + L"\"";
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return what + "could not start (error " + std::to_string(GetLastError()) + ")";
  }
  std::string error;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    error = what + "did not finish within " + std::to_string(timeoutMs / 1000) + " s";
  } else {
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    // regsvr32's own codes; anything else is how the process ended.
    const char* meaning = code == 1   ? "bad arguments"
                          : code == 3 ? "the DLL could not be loaded"
                          : code == 4 ? "the DLL has no DllRegisterServer"
                          : code == 5 ? "DllRegisterServer failed"
                          : code >= 0xC0000000u ? "regsvr32 ended with an exception"
                                                : "unknown";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%lX", static_cast<unsigned long>(code));
    if (code != 0) error = what + "exit code " + hex + " (" + meaning + ")";
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return error;
}

}  // namespace testbed
