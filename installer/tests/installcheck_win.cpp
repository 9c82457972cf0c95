// installcheck: creates each service object named on the command line by
// its ProgID, the way an OPOS control object does, and prints the
// description it answers:
//   installcheck KvSO.KvMsr ...   ->   KvSO.KvMsr: Kv MSR Service Object
// Exit status 0 when every object could be created and answered.
//   installcheck --version FILE   ->   1.0.0.0
// prints the file version of FILE's version resource, as Windows reads it.
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

bool PrintVersion(const char* path) {
  const std::wstring file = Wide(path);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
  std::string info(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
    std::printf("none\n");
    return false;
  }
  std::printf("%lu.%lu.%lu.%lu\n", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
              static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
              static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
              static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--version") == 0) return PrintVersion(argv[2]) ? 0 : 1;
  if (FAILED(CoInitialize(nullptr))) return 1;
  bool ok = argc > 1;
  for (int i = 1; i < argc; ++i) ok = Describe(argv[i]) && ok;
  CoUninitialize();
  return ok ? 0 : 1;
}
