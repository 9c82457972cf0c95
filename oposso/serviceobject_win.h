// The frame of every service object: IDispatch from a method table, the
// event requests on the control object, and the hidden event window through
// which worker threads have events fired on the application's thread.
//
// A device class derives from ServiceObject, passes its method table (the
// common eleven plus its own) and implements the typed methods below. The
// frame checks every argument before a method runs: wrong count, wrong type
// (after VariantChangeType where a conversion exists), a missing argument or
// named arguments are refused with the DISP_E_ code, never read.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <span>
#include <string>
#include <vector>

#include "handle_win.h"
#include "opos.h"
#include "trace_win.h"

namespace oposso {

// The module's count of live objects and server locks (DllCanUnloadNow).
void LockModule();
void UnlockModule();
LONG ModuleLocks();
HINSTANCE ModuleInstance();

class ServiceObject : public IDispatch {
 public:
  explicit ServiceObject(std::span<const opos::Method> methods);
  virtual ~ServiceObject();
  ServiceObject(const ServiceObject&) = delete;
  ServiceObject& operator=(const ServiceObject&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

  // Called on the application's thread by the event window for each event
  // a worker thread handed over.
  virtual void FireEvent(long type) = 0;

 protected:
  // The OPOS methods, called by Invoke with checked arguments.
  virtual long GetPropertyNumber(long index) = 0;
  virtual void SetPropertyNumber(long index, long number) = 0;
  virtual std::wstring GetPropertyString(long index) = 0;
  virtual void SetPropertyString(long, const wchar_t*) {}
  virtual long OpenService(const wchar_t* deviceClass, const wchar_t* deviceName, IDispatch* control) = 0;
  virtual long Close() = 0;
  virtual long Claim(long timeout) = 0;
  virtual long ReleaseDevice() = 0;  // the OPOS Release method
  virtual long CheckHealth(long level) = 0;
  virtual long DirectIO(long command, long& data, BSTR& text) = 0;
  virtual long COFreezeEvents(bool freeze) = 0;
  virtual long DeviceMethod12() { return opos::kIllegal; }
  virtual long DeviceMethod13(long, long, long, long) { return opos::kIllegal; }
  // The object's last reference is going: stop whatever still runs.
  virtual void FinalRelease() {}

  // Result N: ResultCode and ResultCodeExtended both N; returns N.
  long SetResult(long code) {
    resultCode_ = code;
    resultCodeExtended_ = code;
    return code;
  }
  long resultCode_ = 0;
  long resultCodeExtended_ = 0;

  // ---- Field trace ----
  Trace& trace() { return trace_; }
  // A string property's value as the trace may show it (quoted; a device
  // with card data masks it).
  virtual std::string TraceText(long index, const std::wstring& text);

  // The first steps of every OpenService: opens the device's key,
  // `classKeyPath` + `deviceName` under HKEY_LOCAL_MACHINE, for reading
  // only (a POS application may run as a standard user, who cannot open it
  // for more); traces the device at the level its "TraceLevel" asks for
  // (every OPOS call and event at 1, the wire at 2); keeps `control` and
  // resolves `eventNames` in order. False when a step failed, which the
  // trace then names with its cause. A device whose key cannot be opened is
  // traced at the level of the kit's own key (kKitKey "TraceLevel").
  bool BeginOpenService(const char* classKeyPath, const wchar_t* deviceName, IDispatch* control,
                        std::span<const char* const> eventNames, kit::UniqueKey& key);
  static constexpr char kKitKey[] = "SOFTWARE\\PosKit";
  // " (in the 32-bit registry view)" for a 32-bit object on 64-bit Windows.
  static std::string RegistryView();

  // ---- The control object and its event requests ----
  // Keeps `control` (no added reference) and resolves `names` in order with
  // one GetIDsOfNames call each; false (and the control dropped) on the
  // first name the control object does not know.
  bool AttachControl(IDispatch* control, std::span<const char* const> names);
  void DetachControl();
  IDispatch* Control() const { return control_; }
  // Requests the event method resolved as names[which] with `args` in
  // their natural order; the result of the request is not used.
  HRESULT RequestEvent(std::size_t which, std::span<VARIANT> args);

  // ---- Event window and fire-done event ----
  // Creates the hidden window on the calling (application's) thread.
  bool CreateEventWindow();
  // Destroys it (sent, so it is gone on return) and wakes any worker
  // waiting for an event to be fired.
  void DestroyEventWindow();
  // For worker threads: posts the event to the window and waits until it
  // was fired, or until `stop` is set, or the window is gone. False when
  // the event was not fired.
  bool PostEventAndWait(long type, HANDLE stop);

 private:
  static LRESULT CALLBACK EventWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  HRESULT CallMethod(const opos::Method& m, VARIANT* args, VARIANT* result, UINT* argErr);
  // One trace line for a call: its arguments, its result and outcome.
  void TraceCall(const opos::Method& m, const VARIANT* args, const VARIANT* result, HRESULT hr) noexcept;
  std::string CallEntry(const opos::Method& m, const VARIANT* args, const VARIANT* result, HRESULT hr);

  // The event window acts only on what this object asked of it: the event
  // a worker posted and is waiting for, and its own destruction.
  void OnEventMessage(HWND hwnd, WPARAM wp, LPARAM lp);

  LONG refs_ = 1;
  std::span<const opos::Method> methods_;
  IDispatch* control_ = nullptr;
  DISPID eventIds_[4] = {};
  std::size_t eventCount_ = 0;
  HWND window_ = nullptr;
  bool destroyingWindow_ = false;
  // The event a worker posted and waits for (0: none); set by the worker
  // before it posts, taken by the window when it fires.
  volatile LONG pendingEvent_ = 0;
  Trace trace_;
  std::vector<std::string> eventNames_;  // for the trace
  // Auto-reset, unnamed: each object's own, so no other object or process
  // can wake its worker.
  kit::UniqueHandle fireDone_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

}  // namespace oposso
