#include "module_win.h"

#include <olectl.h>

#include <new>

#include "registry_win.h"
#include "serviceobject_win.h"

namespace oposso {

namespace {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) { LockModule(); }
  ~ClassFactory() { UnlockModule(); }

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
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return entry_.create(riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 private:
  LONG refs_ = 1;
  const ClassEntry& entry_;
};

}  // namespace

std::string GuidText(const GUID& guid) {
  wchar_t wide[40] = {};
  StringFromGUID2(guid, wide, 40);
  std::string text;
  for (const wchar_t* p = wide; *p; ++p) text.push_back(static_cast<char>(*p));
  return text;
}

std::vector<RegistryEntry> RegistrationEntries(const ModuleDescription& module, const std::string& serverPath) {
  if (module.classes.empty()) return {};
  const std::string clsid = GuidText(*module.classes.front().clsid);
  const std::string classKey = "CLSID\\" + clsid;
  return {
      {module.progId, nullptr, module.description},
      {std::string(module.progId) + "\\CLSID", nullptr, clsid},
      {classKey, nullptr, module.description},
      {classKey + "\\ProgID", nullptr, module.progId},
      {classKey + "\\InprocServer32", nullptr, serverPath},
      {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {classKey + "\\TypeLib", nullptr, GuidText(*module.libid)},
  };
}

std::vector<std::string> RegistrationTrees(const ModuleDescription& module) {
  if (module.classes.empty()) return {};
  return {module.progId, "CLSID\\" + GuidText(*module.classes.front().clsid)};
}

HRESULT WriteRegistration(HKEY root, std::span<const RegistryEntry> entries, std::span<const std::string> trees) {
  if (entries.empty()) return SELFREG_E_CLASS;
  LONG error = ERROR_SUCCESS;
  for (const RegistryEntry& e : entries) {
    kit::UniqueKey key;
    error = kit::CreateKey(root, e.path, KEY_WRITE, key);
    if (error == ERROR_SUCCESS) error = kit::SetString(key.get(), e.name, e.value);
    if (error != ERROR_SUCCESS) break;
  }
  if (error == ERROR_SUCCESS) return S_OK;
  // No half-written registration: take back what was written.
  for (const std::string& tree : trees) kit::DeleteTree(root, tree);
  return HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}

HRESULT RegisterServer(HKEY root, const ModuleDescription& module, const std::string& serverPath) {
  const std::vector<RegistryEntry> entries = RegistrationEntries(module, serverPath);
  const std::vector<std::string> trees = RegistrationTrees(module);
  return WriteRegistration(root, entries, trees);
}

}  // namespace oposso

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const oposso::ClassEntry& entry : oposso::kModule.classes) {
    if (!IsEqualCLSID(clsid, *entry.clsid)) continue;
    auto* factory = new (std::nothrow) oposso::ClassFactory(entry);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return oposso::ModuleLocks() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(oposso::ModuleInstance(), path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
  HRESULT hr = oposso::RegisterServer(HKEY_CLASSES_ROOT, oposso::kModule, std::string(path, n));
  if (FAILED(hr) || !oposso::kModule.registersTypeLib) return hr;
  wchar_t widePath[MAX_PATH];
  if (GetModuleFileNameW(oposso::ModuleInstance(), widePath, MAX_PATH) == 0) return SELFREG_E_TYPELIB;
  ITypeLib* lib = nullptr;
  hr = LoadTypeLibEx(widePath, REGKIND_REGISTER, &lib);
  if (FAILED(hr)) return SELFREG_E_TYPELIB;
  lib->Release();
  return S_OK;
}
