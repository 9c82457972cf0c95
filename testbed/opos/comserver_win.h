// Small pieces shared by the test bed's in-process COM servers: the module's
// lock count, a class factory, registration under HKEY_CLASSES_ROOT, a
// dispatch table with case-insensitive names, and late-bound calls by name.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <new>
#include <string>
#include <vector>

namespace standin {

// Objects alive plus LockServer locks; DllCanUnloadNow answers S_OK at 0.
extern LONG g_moduleLocks;
extern HMODULE g_module;

inline void LockModule() { InterlockedIncrement(&g_moduleLocks); }
inline void UnlockModule() { InterlockedDecrement(&g_moduleLocks); }

// Creates a T (which starts with one reference) and hands out `riid`.
template <typename T>
class ClassFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static lifetime
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T();
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }
};

// A plain late-bound object: IUnknown, no type information, and the module
// locked while it lives. It starts with one reference; a subclass adds
// GetIDsOfNames and Invoke.
class DispatchObject : public IDispatch {
 public:
  DispatchObject() { LockModule(); }
  virtual ~DispatchObject() { UnlockModule(); }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
};

// Writes CLSID\{clsid}\InprocServer32 (this module, apartment threaded), its
// ProgID, and the ProgID's CLSID.
HRESULT RegisterClass(const CLSID& clsid, const char* progId, const char* description);
HRESULT UnregisterClass(const CLSID& clsid, const char* progId);

struct DispatchName {
  const wchar_t* name;
  DISPID id;
};
// GetIDsOfNames over a table; names compare without regard to case.
HRESULT IdsOfNames(const std::vector<DispatchName>& table, LPOLESTR* names, UINT count, DISPID* ids);

// An argument of DISPPARAMS by position in declaration order (rgvarg holds
// them last first), converted; false when missing or not convertible.
bool ArgLong(const DISPPARAMS* params, UINT index, long& value);
bool ArgString(const DISPPARAMS* params, UINT index, std::wstring& value);
bool ArgBool(const DISPPARAMS* params, UINT index, bool& value);

// Calls `name` on `object` late-bound, as a method, with `args` in
// declaration order. `found` tells whether the name was known.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                   bool* found = nullptr);
VARIANT LongArg(long value);
VARIANT TextArg(const std::wstring& value);  // the caller's VariantClear frees it

}  // namespace standin
