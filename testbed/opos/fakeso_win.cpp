// Fake service objects for the setup program's MSR and drawer dialogs, so
// those paths can be driven without the kit's own service objects:
//   "KvTest.FakeMsr"    a card reader that, once data events are enabled after
//                       a claim, reports one card (or one read error) a moment
//                       later, on the thread that enabled it;
//   "KvTest.FakeDrawer" a drawer that opens on OpenDrawer and reads closed
//                       after a given number of status reads.
// The stand-in control objects use them when OPOS_STANDIN_<class>_SO names
// them. Behaviour, from the environment:
//   FAKEMSR_MODE     "card" (default), "error" (an unreadable card),
//                    "state4" (a card, with the reader then in State 4) or
//                    "state4once" (a card; State reads 4 once, then 2)
//   FAKEDRAWER_OPEN_READS  status reads that still find the drawer open (default 0)
// And "KvTest.HangingSo", a service object whose OpenService never returns,
// for the tests of a device check that must not hang with it.
#include <windows.h>
#include <oleauto.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "comserver_win.h"

using namespace standin;

namespace {

const CLSID kMsrClsid = {0x5D0E7A12, 0x3C51, 0x4B8E, {0x9A, 0x61, 0x2F, 0x0B, 0x4E, 0x61, 0xE0, 0x01}};
const CLSID kDrawerClsid = {0x5D0E7A12, 0x3C51, 0x4B8E, {0x9A, 0x61, 0x2F, 0x0B, 0x4E, 0x61, 0xE0, 0x02}};
const CLSID kHangingClsid = {0x5D0E7A12, 0x3C51, 0x4B8E, {0x9A, 0x61, 0x2F, 0x0B, 0x4E, 0x61, 0xE0, 0x03}};

enum : DISPID {
  kGetPropertyNumber = 1, kSetPropertyNumber, kGetPropertyString, kSetPropertyString, kOpenService, kClose,
  kClaim, kRelease, kCheckHealth, kDirectIO, kCOFreezeEvents, kClearInputOrOpenDrawer,
};

std::string Env(const char* name, const char* fallback) {
  char value[64] = {};
  return GetEnvironmentVariableA(name, value, sizeof value) ? value : fallback;
}

struct Card {
  long pidx;
  const wchar_t* text;
};
const Card kCard[] = {
    {1000003, L"KvMsr"},          {1007001, L"4111111111111111"}, {1007002, L"2512"},
    {1007003, L"JOHN"},           {1007004, L"Q"},                {1007007, L"PUBLIC"},
    {1007009, L"%B4111111111111111^PUBLIC/JOHN Q^2512101?"},
    {1007011, L";4111111111111111=2512101?"},
    {1007013, L";0123456789?"},
};

template <bool kMsr>
class FakeSo final : public DispatchObject {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static const std::vector<DispatchName> table = {
        {L"GetPropertyNumber", kGetPropertyNumber}, {L"SetPropertyNumber", kSetPropertyNumber},
        {L"GetPropertyString", kGetPropertyString}, {L"SetPropertyString", kSetPropertyString},
        {L"OpenService", kOpenService}, {L"Close", kClose}, {L"Claim", kClaim}, {L"Release", kRelease},
        {L"CheckHealth", kCheckHealth}, {L"DirectIO", kDirectIO}, {L"COFreezeEvents", kCOFreezeEvents},
        {kMsr ? L"ClearInput" : L"OpenDrawer", kClearInputOrOpenDrawer}};
    return IdsOfNames(table, names, count, ids);
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    long n = 0, m = 0;
    const auto answer = [&](long value) {
      if (result) *result = LongArg(value);
      return S_OK;
    };
    switch (id) {
      case kGetPropertyNumber:
        if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
        switch (n) {
          case 1: return answer(claimed_);
          case 2: return answer(dataEventEnabled_);
          case 3: return answer(enabled_);
          case 6: case 7: return answer(0);
          case 9: {
            const long state = state_;
            if (stateOnce_) {
              stateOnce_ = false;
              state_ = 2;
            }
            return answer(state);
          }
          case 1001: return answer(ReadDrawer());
          default: return answer(0);
        }
      case kSetPropertyNumber:
        if (!ArgLong(params, 0, n) || !ArgLong(params, 1, m)) return DISP_E_BADPARAMCOUNT;
        if (n == 3) enabled_ = m != 0;
        if (n == 2) {
          dataEventEnabled_ = m != 0;
          // One report per claim, a moment after data events are first enabled.
          if (kMsr && dataEventEnabled_ && claimed_ && !reported_) {
            reported_ = true;
            pending_ = this;
            AddRef();
            SetTimer(nullptr, 0, 300, &FakeSo::Report);
          }
        }
        return S_OK;
      case kGetPropertyString:
        if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
        if (result) {
          std::wstring text;
          if (delivered_) {
            for (const Card& field : kCard) {
              if (field.pidx == n) text = field.text;
            }
          }
          *result = TextArg(text);
        }
        return S_OK;
      case kOpenService:
        if (!params || params->cArgs < 3 || params->rgvarg[0].vt != VT_DISPATCH) return DISP_E_BADPARAMCOUNT;
        control_ = params->rgvarg[0].pdispVal;  // held without a reference, as service objects do
        state_ = 2;
        return answer(0);
      case kClose:
        claimed_ = enabled_ = false;
        control_ = nullptr;
        state_ = 1;
        return answer(0);
      case kClaim:
        claimed_ = true;
        reported_ = false;
        return answer(0);
      case kRelease:
        claimed_ = enabled_ = false;
        return answer(0);
      case kClearInputOrOpenDrawer:
        openReads_ = std::atol(Env("FAKEDRAWER_OPEN_READS", "0").c_str());
        return answer(0);
      case kSetPropertyString:
      case kCOFreezeEvents:
        return answer(0);
      default:
        return answer(106);
    }
  }

 private:
  long ReadDrawer() {
    if (openReads_ <= 0) return 0;
    --openReads_;
    return 1;
  }

  static inline FakeSo* pending_ = nullptr;

  static void CALLBACK Report(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    FakeSo* self = pending_;
    pending_ = nullptr;
    if (!self) return;
    if (self->control_ && self->claimed_) {
      const std::string mode = Env("FAKEMSR_MODE", "card");
      if (mode == "error") {
        self->state_ = 4;
        long response = 0;
        VARIANT ref;
        VariantInit(&ref);
        ref.vt = VT_I4 | VT_BYREF;
        ref.plVal = &response;
        CallByName(self->control_, L"SOError", {LongArg(111), LongArg(111), LongArg(2), ref}, nullptr);
      } else {
        self->delivered_ = true;
        self->state_ = mode == "state4" || mode == "state4once" ? 4 : 2;
        self->stateOnce_ = mode == "state4once";
        self->dataEventEnabled_ = false;
        CallByName(self->control_, L"SOData", {LongArg(1)}, nullptr);
      }
    }
    self->Release();
  }

  IDispatch* control_ = nullptr;
  bool claimed_ = false, enabled_ = false, dataEventEnabled_ = false, reported_ = false, delivered_ = false;
  bool stateOnce_ = false;
  long state_ = 1;
  long openReads_ = 0;
};

ClassFactory<FakeSo<true>> g_msrFactory;
ClassFactory<FakeSo<false>> g_drawerFactory;

// Knows every name; OpenService never comes back.
class HangingSo final : public DispatchObject {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static const std::vector<DispatchName> table = {{L"OpenService", kOpenService}, {L"Close", kClose}};
    return IdsOfNames(table, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id == kOpenService) Sleep(INFINITE);
    if (result) *result = LongArg(0);
    return S_OK;
  }
};

ClassFactory<HangingSo> g_hangingFactory;

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
  if (IsEqualCLSID(clsid, kMsrClsid)) return g_msrFactory.QueryInterface(riid, out);
  if (IsEqualCLSID(clsid, kDrawerClsid)) return g_drawerFactory.QueryInterface(riid, out);
  if (IsEqualCLSID(clsid, kHangingClsid)) return g_hangingFactory.QueryInterface(riid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return g_moduleLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  HRESULT hr = RegisterClass(kMsrClsid, "KvTest.FakeMsr", "Fake MSR service object");
  if (SUCCEEDED(hr)) hr = RegisterClass(kDrawerClsid, "KvTest.FakeDrawer", "Fake cash drawer service object");
  if (SUCCEEDED(hr)) hr = RegisterClass(kHangingClsid, "KvTest.HangingSo", "Service object that never answers");
  return hr;
}

STDAPI DllUnregisterServer() {
  UnregisterClass(kMsrClsid, "KvTest.FakeMsr");
  UnregisterClass(kDrawerClsid, "KvTest.FakeDrawer");
  UnregisterClass(kHangingClsid, "KvTest.HangingSo");
  return S_OK;
}

}  // extern "C"
