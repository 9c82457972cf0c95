#include "msrso_test_win.h"

#include <olectl.h>
#include <tlhelp32.h>

#include <climits>
#include <cstring>
#include <vector>

#include "cardline.h"
#include "module_win.h"
#include "msr_win.h"
#include "opos.h"
#include "registry_win.h"

using testbed::CallLong;
using testbed::CallString;
using testbed::Dispatch;
using testbed::Long;
using testbed::Text;

namespace msrtest {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring DllPath() { return ProgramFolder() + L"KvSMsrSo.dll"; }

void WriteDeviceKey(const std::string& port, const std::string& lrc) {
  kit::DeleteTree(HKEY_LOCAL_MACHINE, kDeviceKey);
  kit::UniqueKey key;
  ASSERT_EQ(kit::CreateKey(HKEY_LOCAL_MACHINE, kDeviceKey, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
  kit::SetString(key.get(), nullptr, "KvSo.KvMsr");
  if (!port.empty()) kit::SetString(key.get(), "Port", port);
  kit::SetString(key.get(), "Lrc", lrc);
}

void DeleteDeviceKey() { kit::DeleteTree(HKEY_LOCAL_MACHINE, kDeviceKey); }

void MsrTest::SetUpTestSuite() {
  static bool registered = false;
  if (registered) return;
  const std::string error = testbed::RegisterServer(DllPath());
  ASSERT_TRUE(error.empty()) << error;
  registered = true;
}

void MsrTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  so_ = Create();
  ASSERT_NE(so_, nullptr);
}

void MsrTest::TearDown() {
  if (so_) so_->Release();
  so_ = nullptr;
  DeleteDeviceKey();
  CoUninitialize();
}

void MsrTest::OpenClaimEnable(IDispatch* so) {
  ASSERT_EQ(CallLong(so, L"OpenService", {Text(L"MSR"), Text(L"KvMsr"), Dispatch(&control_)}), 0);
  ASSERT_EQ(CallLong(so, L"Claim", {Long(1000)}), 0);
  SetNumber(so, opos::kPidxDeviceEnabled, 1);
  SetNumber(so, opos::kPidxDataEventEnabled, 1);
}

TempProgramData::TempProgramData() {
  static int counter = 0;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  folder_ = std::wstring(temp) + L"kit-trace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
  CreateDirectoryW(folder_.c_str(), nullptr);
  SetEnvironmentVariableW(L"ProgramData", folder_.c_str());
}

TempProgramData::~TempProgramData() { SetEnvironmentVariableW(L"ProgramData", nullptr); }

std::string TempProgramData::Read(const wchar_t* name) const {
  kit::UniqueHandle file(CreateFileW(LogPath(name).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  return text;
}

void SetTraceLevel(DWORD level) {
  kit::UniqueKey key;
  ASSERT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, kDeviceKey, KEY_SET_VALUE, key), ERROR_SUCCESS);
  ASSERT_EQ(kit::SetDword(key.get(), "TraceLevel", level), ERROR_SUCCESS);
}

std::size_t ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  THREADENTRY32 te{};
  te.dwSize = sizeof te;
  std::size_t n = 0;
  for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
    n += te.th32OwnerProcessID == GetCurrentProcessId();
  }
  CloseHandle(snap);
  return n;
}

void SetNumber(IDispatch* so, long index, long value) {
  testbed::CallByName(so, L"SetPropertyNumber", {Long(index), Long(value)}, nullptr);
}

long Number(IDispatch* so, long index) { return CallLong(so, L"GetPropertyNumber", {Long(index)}); }

IDispatch* MsrTest::Create() {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"KvSO.KvMsr", &clsid))) return nullptr;
  IDispatch* object = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object)))) {
    return nullptr;
  }
  return object;
}

namespace {

// ---- Packaging -----------------------------------------------------------

TEST_F(MsrTest, RegisteredByRegsvr32AndCreatedByProgId) {
  kit::UniqueKey key;
  ASSERT_EQ(kit::OpenKey(HKEY_CLASSES_ROOT, "KvSO.KvMsr\\CLSID", KEY_READ, key), ERROR_SUCCESS);
  const auto clsid = kit::QueryString(key.get(), nullptr);
  ASSERT_TRUE(clsid.has_value());
  EXPECT_EQ(*clsid, "{D72A9F0C-A1B5-4E1B-BD18-52F167A9F6BC}");
  ASSERT_EQ(kit::OpenKey(HKEY_CLASSES_ROOT, "CLSID\\" + *clsid + "\\InprocServer32", KEY_READ, key), ERROR_SUCCESS);
  EXPECT_EQ(kit::QueryString(key.get(), "ThreadingModel").value_or(""), "Apartment");
  const std::string server = kit::QueryString(key.get(), nullptr).value_or("");
  EXPECT_NE(server.find("KvSMsrSo.dll"), std::string::npos) << server;
  ASSERT_EQ(kit::OpenKey(HKEY_CLASSES_ROOT, "CLSID\\" + *clsid + "\\ProgID", KEY_READ, key), ERROR_SUCCESS);
  EXPECT_EQ(kit::QueryString(key.get(), nullptr).value_or(""), "KvSO.KvMsr");
  EXPECT_NE(so_, nullptr);
}

TEST_F(MsrTest, TypeLibraryAndVersionResources) {
  HMODULE dll = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(dll, nullptr);
  HRSRC res = FindResourceExW(dll, L"TYPELIB", MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(res, nullptr);
  ASSERT_GE(SizeofResource(dll, res), 4u);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(dll, res)));
  EXPECT_EQ(std::string(bytes, 4), "MSFT");
  FreeLibrary(dll);

  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, info.data()));
  void* value = nullptr;
  UINT length = 0;
  EXPECT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\OLESelfRegister", &value, &length));

  ITypeLib* lib = nullptr;
  ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, &lib), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(oposso::GuidText(attr->guid), "{394F9E01-0B4D-4D66-8B01-6D5AB14535BC}");
  lib->ReleaseTLibAttr(attr);
  lib->Release();
}

// ---- Dispatch ------------------------------------------------------------

TEST_F(MsrTest, MethodTableNamesAndDispids) {
  ASSERT_EQ(msrso::kMsrMethods.size(), 12u);
  for (const opos::Method& m : msrso::kMsrMethods) {
    for (const bool lower : {false, true}) {
      std::wstring name(m.name, m.name + std::strlen(m.name));
      if (lower) {
        for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
      }
      LPOLESTR p = name.data();
      DISPID id = 0;
      EXPECT_EQ(so_->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK) << m.name;
      EXPECT_EQ(id, m.dispid) << m.name;
    }
  }
  EXPECT_EQ(msrso::kMsrMethods[11].dispid, 12);
  for (const wchar_t* unknown : {L"ClaimDevice", L"ReleaseDevice", L"CloseService", L"OpenDrawer", L""}) {
    LPOLESTR p = const_cast<LPOLESTR>(unknown);
    DISPID id = 0;
    EXPECT_EQ(so_->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_SYSTEM_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
  }
}

HRESULT InvokeId(IDispatch* so, DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr,
                 WORD flags = DISPATCH_METHOD) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS dp{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  UINT argErr = 0;
  const HRESULT hr = so->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &dp, result, nullptr, &argErr);
  for (VARIANT& v : args) {
    if ((V_VT(&v) & VT_BYREF) == 0) VariantClear(&v);
  }
  return hr;
}

TEST_F(MsrTest, InvokeChecksWhatTheCallerPasses) {
  VARIANT r;
  VariantInit(&r);
  EXPECT_EQ(InvokeId(so_, opos::kGetPropertyNumber, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeId(so_, opos::kGetPropertyNumber, {Long(1), Long(2)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeId(so_, opos::kGetPropertyNumber, {Text(L"not a number")}), DISP_E_TYPEMISMATCH);
  // A conversion that exists is made: "8" is PIDX_ServiceObjectVersion.
  ASSERT_EQ(InvokeId(so_, opos::kGetPropertyNumber, {Text(L"8")}, &r), S_OK);
  EXPECT_EQ(V_VT(&r), VT_I4);
  EXPECT_EQ(V_I4(&r), 1002000);
  VARIANT missing;
  VariantInit(&missing);
  V_VT(&missing) = VT_ERROR;
  V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(InvokeId(so_, opos::kClaim, {missing}), DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(InvokeId(so_, 13, {Long(1), Long(1), Long(1), Long(1)}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeId(so_, 0, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeId(so_, opos::kClose, {}, nullptr, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
  // Named arguments are refused.
  VARIANT arg = Long(8);
  DISPID named = 0;
  DISPPARAMS dp{&arg, &named, 1, 1};
  EXPECT_EQ(so_->Invoke(opos::kGetPropertyNumber, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);

  // DirectIO takes its second and third arguments by reference, and leaves
  // them as they were.
  long data = 77;
  BSTR text = SysAllocString(L"keep");
  VARIANT pData, pString;
  V_VT(&pData) = VT_I4 | VT_BYREF;
  V_I4REF(&pData) = &data;
  V_VT(&pString) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&pString) = &text;
  ASSERT_EQ(InvokeId(so_, opos::kDirectIO, {Long(5), pData, pString}, &r), S_OK);
  EXPECT_EQ(V_I4(&r), 106);
  EXPECT_EQ(data, 77);
  EXPECT_STREQ(text, L"keep");
  EXPECT_EQ(InvokeId(so_, opos::kDirectIO, {Long(5), Long(77), pString}), DISP_E_TYPEMISMATCH);
  SysFreeString(text);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxResultCode)}), 106);
}

// ---- Properties and results before and without a device ----------------

TEST_F(MsrTest, PropertyTablesOfAClosedObject) {
  const struct {
    long index;
    long value;
  } numbers[] = {{opos::kPidxClaimed, 0},       {opos::kPidxDataEventEnabled, 0}, {opos::kPidxDeviceEnabled, 0},
                 {opos::kPidxFreezeEvents, 0},  {opos::kPidxResultCode, 0},       {opos::kPidxResultCodeExtended, 0},
                 {opos::kPidxServiceObjectVersion, 1002000}, {opos::kPidxState, opos::kClosed},
                 {opos::kPidxDataCount, 0},     {msrso::kPidxDecodeData, 1},      {msrso::kPidxParseDecodeData, 1},
                 {msrso::kPidxTracksToRead, 3}, {msrso::kPidxCapISO, 1},          {msrso::kPidxCapJISOne, 0},
                 {msrso::kPidxCapJISTwo, 0},    {5, 0},                           {999, 0}};
  for (const auto& n : numbers) {
    EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(n.index)}), n.value) << n.index;
  }
  EXPECT_EQ(CallString(so_, L"GetPropertyString", opos::kPidxCheckHealthText), L"");
  EXPECT_EQ(CallString(so_, L"GetPropertyString", opos::kPidxDeviceDescription), L"Kv Serial MSR ");
  EXPECT_EQ(CallString(so_, L"GetPropertyString", opos::kPidxDeviceName), L"KvMsr");
  EXPECT_EQ(CallString(so_, L"GetPropertyString", opos::kPidxServiceObjectDescription), L"Kv MSR Service Object");
  for (const msr::CardStringInfo& s : msr::kCardStringTable) {
    EXPECT_EQ(CallString(so_, L"GetPropertyString", s.index), L"") << s.name;
  }
  EXPECT_EQ(CallString(so_, L"GetPropertyString", 1007014), L"");

  // Writes: the device-dependent ones need DeviceEnabled.
  EXPECT_EQ(testbed::CallByName(so_, L"SetPropertyNumber", {Long(msrso::kPidxTracksToRead), Long(1)}, nullptr), S_OK);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxResultCode)}), 105);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(msrso::kPidxTracksToRead)}), 3);
  testbed::CallByName(so_, L"SetPropertyNumber", {Long(msrso::kPidxDecodeData), Long(0)}, nullptr);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(msrso::kPidxDecodeData)}), 1);
  // Ignored writes leave ResultCode as it was (105).
  testbed::CallByName(so_, L"SetPropertyNumber", {Long(opos::kPidxState), Long(7)}, nullptr);
  testbed::CallByName(so_, L"SetPropertyString", {Long(opos::kPidxDeviceName), Text(L"x")}, nullptr);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxResultCode)}), 105);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxState)}), opos::kClosed);
  EXPECT_EQ(CallString(so_, L"GetPropertyString", opos::kPidxDeviceName), L"KvMsr");

  testbed::CallByName(so_, L"SetPropertyNumber", {Long(opos::kPidxDeviceEnabled), Long(5)}, nullptr);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxDeviceEnabled)}), 1);
  testbed::CallByName(so_, L"SetPropertyNumber", {Long(msrso::kPidxTracksToRead), Long(7)}, nullptr);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(msrso::kPidxTracksToRead)}), 7);
  testbed::CallByName(so_, L"SetPropertyNumber", {Long(msrso::kPidxParseDecodeData), Long(2)}, nullptr);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(msrso::kPidxParseDecodeData)}), 0);
  testbed::CallByName(so_, L"SetPropertyNumber", {Long(opos::kPidxFreezeEvents), Long(-3)}, nullptr);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxFreezeEvents)}), 1);
}

TEST_F(MsrTest, ResultCodesOfMethodsOutOfOrder) {
  EXPECT_EQ(CallLong(so_, L"Release"), opos::kIllegal);
  EXPECT_EQ(CallLong(so_, L"Claim", {Long(0)}), opos::kNotClaimed);
  EXPECT_EQ(CallLong(so_, L"CheckHealth", {Long(3)}), opos::kNotClaimed);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxResultCodeExtended)}), opos::kNotClaimed);
  // COFreezeEvents and ClearInput answer 0 and leave ResultCode alone.
  EXPECT_EQ(CallLong(so_, L"COFreezeEvents", {Long(1)}), 0);
  EXPECT_EQ(CallLong(so_, L"ClearInput"), 0);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxResultCode)}), opos::kNotClaimed);
  EXPECT_EQ(CallLong(so_, L"Close"), 0);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxState)}), opos::kClosed);
}

// ---- OpenService failures --------------------------------------------------

long Open(IDispatch* so, IDispatch* control, const wchar_t* device = L"KvMsr") {
  return CallLong(so, L"OpenService", {Text(L"MSR"), Text(device), Dispatch(control)});
}

TEST_F(MsrTest, OpenServiceFailsWithoutDeviceKey) {
  DeleteDeviceKey();
  EXPECT_EQ(Open(so_, &control_), opos::kNoService);
  EXPECT_EQ(Open(so_, &control_, L"NoSuchDevice"), opos::kNoService);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxState)}), opos::kClosed);
  EXPECT_EQ(CallLong(so_, L"Claim", {Long(0)}), opos::kNotClaimed);
}

TEST_F(MsrTest, OpenServiceFailsWithoutPort) {
  WriteDeviceKey("");
  EXPECT_EQ(Open(so_, &control_), opos::kNoService);
  EXPECT_EQ(CallLong(so_, L"GetPropertyNumber", {Long(opos::kPidxResultCodeExtended)}), opos::kNoService);
}

TEST_F(MsrTest, OpenServiceFailsOnAPortThatCannotBeOpened) {
  WriteDeviceKey("C:\\no\\such\\folder\\COM1");
  EXPECT_EQ(Open(so_, &control_), opos::kNoService);
  EXPECT_EQ(CallLong(so_, L"Claim", {Long(0)}), opos::kNotClaimed);
}

TEST_F(MsrTest, OpenServiceFailsOnAnUnknownEventName) {
  WriteDeviceKey("C:\\no\\such\\folder\\COM1");
  testbed::ControlObject noError("SOError");
  EXPECT_EQ(Open(so_, &noError), opos::kNoService);
  // Resolved one by one in the order SOData, SODirectIO, SOError, with the
  // system default locale.
  ASSERT_EQ(noError.lcids.size(), 3u);
  for (const LCID lcid : noError.lcids) EXPECT_EQ(lcid, static_cast<LCID>(LOCALE_SYSTEM_DEFAULT));
  EXPECT_EQ(Open(so_, nullptr), opos::kNoService);
}

// ---- Registration --------------------------------------------------------

// A module description of the test's own for RegisterServer.
const GUID kTestClsid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
HRESULT NoCreate(REFIID, void**) { return E_NOTIMPL; }
const oposso::ClassEntry kTestClasses[] = {{&kTestClsid, &NoCreate}};

}  // namespace
}  // namespace msrtest

namespace oposso {
const ModuleDescription kModule = {"KvSO.KitTest", "Test Class", &msrtest::kTestClsid, msrtest::kTestClasses};
}  // namespace oposso

namespace msrtest {
namespace {

constexpr char kTestRoot[] = "Software\\KvSoRegistrationTest";

TEST(RegistrationTest, WritesTheWholeRegistration) {
  kit::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
  kit::UniqueKey root;
  ASSERT_EQ(kit::CreateKey(HKEY_CURRENT_USER, kTestRoot, KEY_ALL_ACCESS, root), ERROR_SUCCESS);
  ASSERT_EQ(oposso::RegisterServer(root.get(), oposso::kModule, "C:\\x\\KvTest.dll"), S_OK);
  kit::UniqueKey key;
  const std::string cls = "CLSID\\" + oposso::GuidText(kTestClsid);
  ASSERT_EQ(kit::OpenKey(root.get(), cls + "\\InprocServer32", KEY_READ, key), ERROR_SUCCESS);
  EXPECT_EQ(kit::QueryString(key.get(), nullptr).value_or(""), "C:\\x\\KvTest.dll");
  EXPECT_EQ(kit::QueryString(key.get(), "ThreadingModel").value_or(""), "Apartment");
  ASSERT_EQ(kit::OpenKey(root.get(), "KvSO.KitTest\\CLSID", KEY_READ, key), ERROR_SUCCESS);
  EXPECT_EQ(kit::QueryString(key.get(), nullptr).value_or(""), oposso::GuidText(kTestClsid));
  kit::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
}

TEST(RegistrationTest, RefusedWriteIsReportedAndLeavesNothing) {
  kit::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
  kit::UniqueKey root;
  ASSERT_EQ(kit::CreateKey(HKEY_CURRENT_USER, kTestRoot, KEY_ALL_ACCESS, root), ERROR_SUCCESS);
  // A write the registry refuses half-way (a key name longer than the
  // registry allows), after the ProgID and the class key were written.
  std::vector<oposso::RegistryEntry> entries = oposso::RegistrationEntries(oposso::kModule, "C:\\x\\KvTest.dll");
  ASSERT_EQ(entries.size(), 7u);
  const std::string cls = "CLSID\\" + oposso::GuidText(kTestClsid);
  entries.insert(entries.begin() + 4, {cls + "\\" + std::string(300, 'k'), nullptr, "x"});
  const std::vector<std::string> trees = oposso::RegistrationTrees(oposso::kModule);
  const HRESULT hr = oposso::WriteRegistration(root.get(), entries, trees);
  EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
  kit::UniqueKey key;
  EXPECT_NE(kit::OpenKey(root.get(), "KvSO.KitTest", KEY_READ, key), ERROR_SUCCESS);
  EXPECT_NE(kit::OpenKey(root.get(), cls, KEY_READ, key), ERROR_SUCCESS);
  // An invalid root: the first write fails and its error comes back.
  EXPECT_TRUE(FAILED(oposso::RegisterServer(nullptr, oposso::kModule, "C:\\x\\KvTest.dll")));
  root.reset();
  kit::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
}

}  // namespace
}  // namespace msrtest
