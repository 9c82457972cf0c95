// A line display service object for tests, registered as "KvSo.KvDisplay":
// it answers the OPOS service-object method set late-bound and records
// what it is asked to do, one line per call, in the file named by the
// environment variable KVDISPLAY_LOG. With KVDISPLAY_FAIL_CLOSE=1 its Close
// fails with OPOS_E_FAILURE.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "comserver_win.h"
#include "registry_win.h"
#include "text_win.h"

using namespace standin;

namespace {

const CLSID kClsid = {0x5D0E7A11, 0x3C51, 0x4B8E, {0x9A, 0x61, 0x2F, 0x0B, 0x4E, 0x61, 0xD0, 0x01}};
constexpr char kProgId[] = "KvSo.KvDisplay";

constexpr long kSuccess = 0, kNotClaimed = 103, kNoService = 104, kDisabled = 105, kIllegal = 106,
               kFailure = 111;

enum : DISPID {
  kGetPropertyNumber = 1, kSetPropertyNumber, kGetPropertyString, kSetPropertyString, kOpenService, kClose,
  kClaim, kRelease, kCheckHealth, kDirectIO, kCOFreezeEvents, kClearText, kDisplayText, kDisplayTextAt,
};

const std::vector<DispatchName> kNames = {
    {L"GetPropertyNumber", kGetPropertyNumber}, {L"SetPropertyNumber", kSetPropertyNumber},
    {L"GetPropertyString", kGetPropertyString}, {L"SetPropertyString", kSetPropertyString},
    {L"OpenService", kOpenService}, {L"Close", kClose}, {L"Claim", kClaim}, {L"Release", kRelease},
    {L"CheckHealth", kCheckHealth}, {L"DirectIO", kDirectIO}, {L"COFreezeEvents", kCOFreezeEvents},
    {L"ClearText", kClearText}, {L"DisplayText", kDisplayText}, {L"DisplayTextAt", kDisplayTextAt}};

void Record(const std::string& line) {
  char path[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("KVDISPLAY_LOG", path, MAX_PATH)) return;
  if (FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

bool CloseFails() {
  char value[8] = {};
  return GetEnvironmentVariableA("KVDISPLAY_FAIL_CLOSE", value, sizeof value) && value[0] == '1';
}

class Display final : public DispatchObject {
 public:
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return IdsOfNames(kNames, names, count, ids);
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    long n = 0, m = 0, k = 0;
    std::wstring text, text2;
    const auto answer = [&](long value) {
      if (result) {
        VariantInit(result);
        result->vt = VT_I4;
        result->lVal = value;
      }
      return S_OK;
    };
    const auto done = [&](long code) { return answer(resultCode_ = code); };
    switch (id) {
      case kGetPropertyNumber:
        if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
        switch (n) {
          case 1: return answer(claimed_);
          case 3: return answer(enabled_);
          case 6: case 7: return answer(resultCode_);
          case 9: return answer(opened_ ? 2 : 1);
          default: return answer(0);
        }
      case kSetPropertyNumber:
        if (!ArgLong(params, 0, n) || !ArgLong(params, 1, m)) return DISP_E_BADPARAMCOUNT;
        if (n == 3) {
          if (!claimed_) return done(kNotClaimed);
          enabled_ = m != 0;
          Record("DeviceEnabled " + std::to_string(enabled_));
          return done(kSuccess);
        }
        return S_OK;
      case kGetPropertyString:
        if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
        if (result) *result = TextArg(n == 1000003 ? L"KvDisplay" : L"");
        return S_OK;
      case kSetPropertyString:
        return S_OK;
      case kOpenService: {
        if (!ArgString(params, 0, text) || !ArgString(params, 1, text2) || params->cArgs < 3) {
          return DISP_E_BADPARAMCOUNT;
        }
        Record("OpenService " + kit::ToAnsi(text) + " " + kit::ToAnsi(text2));
        kit::UniqueKey key;
        if (kit::OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\" + kit::ToAnsi(text2),
                         KEY_READ, key) != ERROR_SUCCESS) {
          return done(kNoService);
        }
        // The control object must answer the event requests by name.
        const VARIANT& co = params->rgvarg[0];
        IDispatch* control = co.vt == VT_DISPATCH ? co.pdispVal : nullptr;
        for (const wchar_t* name : {L"SODirectIO", L"SOStatusUpdate"}) {
          DISPID ignored = 0;
          LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
          if (!control || FAILED(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &ignored))) {
            return done(kNoService);
          }
        }
        opened_ = true;
        return done(kSuccess);
      }
      case kClose:
        Record("Close");
        claimed_ = enabled_ = false;
        opened_ = false;
        return done(CloseFails() ? kFailure : kSuccess);
      case kClaim:
        if (!ArgLong(params, 0, n)) return DISP_E_BADPARAMCOUNT;
        Record("Claim " + std::to_string(n));
        if (!opened_) return done(kNotClaimed);
        claimed_ = true;
        return done(kSuccess);
      case kRelease:
        Record("Release");
        if (!claimed_) return done(kNotClaimed);
        claimed_ = enabled_ = false;
        return done(kSuccess);
      case kCheckHealth:
      case kDirectIO:
        return done(kIllegal);
      case kCOFreezeEvents:
        return answer(kSuccess);
      case kClearText:
        Record("ClearText");
        return done(enabled_ ? kSuccess : kDisabled);
      case kDisplayText:
        if (!ArgString(params, 0, text) || !ArgLong(params, 1, n)) return DISP_E_BADPARAMCOUNT;
        Record("DisplayText \"" + kit::ToAnsi(text) + "\" " + std::to_string(n));
        return done(enabled_ ? kSuccess : kDisabled);
      case kDisplayTextAt:
        if (!ArgLong(params, 0, n) || !ArgLong(params, 1, m) || !ArgString(params, 2, text) || !ArgLong(params, 3, k)) {
          return DISP_E_BADPARAMCOUNT;
        }
        Record("DisplayTextAt " + std::to_string(n) + " " + std::to_string(m) + " \"" + kit::ToAnsi(text) + "\" " +
               std::to_string(k));
        return done(enabled_ ? kSuccess : kDisabled);
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  bool opened_ = false, claimed_ = false, enabled_ = false;
  long resultCode_ = 0;
};

ClassFactory<Display> g_factory;

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
  if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return g_moduleLocks == 0 ? S_OK : S_FALSE; }
STDAPI DllRegisterServer() { return RegisterClass(kClsid, kProgId, "Line display service object stand-in"); }
STDAPI DllUnregisterServer() { return UnregisterClass(kClsid, kProgId); }

}  // extern "C"
