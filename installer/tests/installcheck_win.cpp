// installcheck: creates each service object named on the command line by
// its ProgID, the way an OPOS control object does, and prints the
// description it answers:
//   installcheck KvSO.KvMsr ...   ->   KvSO.KvMsr: Kv MSR Service Object
// Exit status 0 when every object could be created and answered.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr LONG kServiceObjectDescription = 1000004;

std::wstring Wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

bool Describe(const char* progId) {
  CLSID clsid{};
  IDispatch* object = nullptr;
  if (FAILED(CLSIDFromProgID(Wide(progId).c_str(), &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)))) {
    std::printf("%s: cannot be created\n", progId);
    return false;
  }
  OLECHAR name[] = L"GetPropertyString";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  VARIANT argument, result;
  VariantInit(&argument);
  VariantInit(&result);
  argument.vt = VT_I4;
  argument.lVal = kServiceObjectDescription;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  const bool ok = SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id)) &&
                  SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, &result,
                                           nullptr, nullptr)) &&
                  result.vt == VT_BSTR;
  if (ok) {
    std::printf("%s: %ls\n", progId, result.bstrVal);
  } else {
    std::printf("%s: no description\n", progId);
  }
  VariantClear(&result);
  object->Release();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (FAILED(CoInitialize(nullptr))) return 1;
  bool ok = argc > 1;
  for (int i = 1; i < argc; ++i) ok = Describe(argv[i]) && ok;
  CoUninitialize();
  return ok ? 0 : 1;
}
