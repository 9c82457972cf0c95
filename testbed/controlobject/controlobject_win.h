// A stand-in for the OPOS control object, for tests of the service objects:
// an IDispatch that answers the event requests "SOData", "SOError",
// "SOStatusUpdate" and "SODirectIO" and records each call with its
// arguments and the thread it came on. Helpers call a service object by
// name, as a control object does.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "regsvr_win.h"

namespace testbed {

struct EventCall {
  std::string name;
  std::vector<long> args;  // by-reference longs as their value
  DWORD thread;
  LONGLONG time;           // QueryPerformanceCounter at the call
};

class ControlObject final : public IDispatch {
 public:
  // `unknown`: an event name this control object does not know.
  explicit ControlObject(std::string unknown = {}) : unknown_(std::move(unknown)) {
    InitializeCriticalSection(&lock_);
  }
  ~ControlObject() { DeleteCriticalSection(&lock_); }
  ControlObject(const ControlObject&) = delete;
  ControlObject& operator=(const ControlObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

  std::vector<EventCall> Calls();
  std::size_t Count(const std::string& name);
  void Clear();
  // Called from inside each event request, on the thread that made it.
  void (*onEvent)(void* context, const EventCall& call) = nullptr;
  void* onEventContext = nullptr;
  std::vector<LCID> lcids;  // of each GetIDsOfNames call

 private:
  LONG refs_ = 1;
  std::string unknown_;
  CRITICAL_SECTION lock_;
  std::vector<EventCall> calls_;
};


// Calls `name` on `object` through GetIDsOfNames and Invoke.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result);
// The same, for the common case of long results: the result, or LONG_MIN
// when the call failed.
long CallLong(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args = {});
std::wstring CallString(IDispatch* object, const wchar_t* name, long index);
VARIANT Long(long v);
VARIANT Text(const wchar_t* s);  // the caller's BSTR lives until VariantClear
VARIANT Dispatch(IDispatch* d);

// Pumps the thread's messages until `done()` or `timeoutMs` passed.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (GetTickCount64() >= until) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

}  // namespace testbed
