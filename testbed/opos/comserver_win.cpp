#include "comserver_win.h"

#include <oleauto.h>

#include "registry_win.h"

namespace standin {

LONG g_moduleLocks = 0;
HMODULE g_module = nullptr;

namespace {

std::string GuidText(const CLSID& clsid) {
  wchar_t wide[64] = {};
  StringFromGUID2(clsid, wide, 64);
  std::string text;
  for (const wchar_t* p = wide; *p; ++p) text += static_cast<char>(*p);
  return text;
}

LONG SetKeyValue(const std::string& path, const char* name, const std::string& value) {
  kit::UniqueKey key;
  LONG rc = kit::CreateKey(HKEY_CLASSES_ROOT, path, KEY_ALL_ACCESS, key);
  if (rc == ERROR_SUCCESS) rc = kit::SetString(key.get(), name, value);
  return rc;
}

}  // namespace

HRESULT RegisterClass(const CLSID& clsid, const char* progId, const char* description) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(g_module, path, MAX_PATH);
  const std::string clsidKey = "CLSID\\" + GuidText(clsid);
  LONG rc = SetKeyValue(clsidKey, nullptr, description);
  if (rc == ERROR_SUCCESS) rc = SetKeyValue(clsidKey + "\\InprocServer32", nullptr, path);
  if (rc == ERROR_SUCCESS) rc = SetKeyValue(clsidKey + "\\InprocServer32", "ThreadingModel", "Apartment");
  if (rc == ERROR_SUCCESS) rc = SetKeyValue(clsidKey + "\\ProgID", nullptr, progId);
  if (rc == ERROR_SUCCESS) rc = SetKeyValue(progId, nullptr, description);
  if (rc == ERROR_SUCCESS) rc = SetKeyValue(std::string(progId) + "\\CLSID", nullptr, GuidText(clsid));
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

HRESULT UnregisterClass(const CLSID& clsid, const char* progId) {
  kit::DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + GuidText(clsid));
  kit::DeleteTree(HKEY_CLASSES_ROOT, progId);
  return S_OK;
}

HRESULT IdsOfNames(const std::vector<DispatchName>& table, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i > 0) {  // names of arguments are not supported
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    for (const DispatchName& entry : table) {
      if (lstrcmpiW(entry.name, names[i]) == 0) ids[i] = entry.id;
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

namespace {

bool Arg(const DISPPARAMS* params, UINT index, VARTYPE type, VARIANT& out) {
  if (!params || index >= params->cArgs) return false;
  VARIANT* source = &params->rgvarg[params->cArgs - 1 - index];
  if (source->vt == (VT_VARIANT | VT_BYREF)) source = source->pvarVal;
  VariantInit(&out);
  return SUCCEEDED(VariantChangeType(&out, source, 0, type));
}

}  // namespace

bool ArgLong(const DISPPARAMS* params, UINT index, long& value) {
  VARIANT v;
  if (!Arg(params, index, VT_I4, v)) return false;
  value = v.lVal;
  return true;
}

bool ArgString(const DISPPARAMS* params, UINT index, std::wstring& value) {
  VARIANT v;
  if (!Arg(params, index, VT_BSTR, v)) return false;
  value.assign(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
  VariantClear(&v);
  return true;
}

bool ArgBool(const DISPPARAMS* params, UINT index, bool& value) {
  VARIANT v;
  if (!Arg(params, index, VT_BOOL, v)) return false;
  value = v.boolVal != VARIANT_FALSE;
  return true;
}

VARIANT LongArg(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT TextArg(const std::wstring& value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return v;
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                   bool* found) {
  if (found) *found = false;
  HRESULT hr = E_POINTER;
  if (object) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
      if (found) *found = true;
      std::vector<VARIANT> reversed(args.rbegin(), args.rend());
      DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
      hr = object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, result, nullptr,
                          nullptr);
    }
  }
  for (VARIANT& v : args) VariantClear(&v);
  return hr;
}

}  // namespace standin
