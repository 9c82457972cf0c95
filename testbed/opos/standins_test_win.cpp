// The stand-in control objects as a POS application would meet them:
// created by ProgID, members by name with the standard dispatch
// identifiers, devices opened by key name and by custom name, events through
// the source interface the object names.
#include <windows.h>
#include <aclapi.h>
#include <ocidl.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "comserver_win.h"
#include "registry_win.h"

namespace {

const std::string kDisplays = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";

std::wstring ModuleDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir = path;
  return dir.substr(0, dir.find_last_of(L'\\'));
}

void Register(const wchar_t* dll) {
  HMODULE module = LoadLibraryW((ModuleDir() + L"\\" + dll).c_str());
  ASSERT_NE(module, nullptr);
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto call = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call(), S_OK);
  FreeLibrary(module);
}

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    Register(L"OposControls.dll");
    Register(L"KvDisplayStandin.dll");
    kit::UniqueKey key;
    ASSERT_EQ(kit::CreateKey(HKEY_LOCAL_MACHINE, kDisplays + "\\KvDisplay", KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    kit::SetString(key.get(), nullptr, "KvSo.KvDisplay");
    ASSERT_EQ(kit::OpenKey(HKEY_LOCAL_MACHINE, kDisplays, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    kit::SetString(key.get(), "Customer Pole", "KvDisplay");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    log_ = std::wstring(temp) + L"standins-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(log_.c_str());
    SetEnvironmentVariableW(L"KVDISPLAY_LOG", log_.c_str());
  }
  void TearDown() override {
    if (object_) object_->Release();
    kit::DeleteTree(HKEY_LOCAL_MACHINE, kDisplays);
    DeleteFileW(log_.c_str());
    CoUninitialize();
  }

  void Create(const wchar_t* progId) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&object_)),
              S_OK);
  }
  DISPID Id(const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    return id;
  }
  long Call(const wchar_t* name, std::vector<VARIANT> args) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(standin::CallByName(object_, name, std::move(args), &result), S_OK);
    return result.vt == VT_I4 ? result.lVal : -1;
  }
  std::string Log() {
    std::ifstream in(std::filesystem::path(log_), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  IDispatch* object_ = nullptr;
  std::wstring log_;
};

TEST_F(StandInTest, MembersAnswerByNameWithTheirDispatchIds) {
  Create(L"OPOS.MSR");
  const std::vector<std::pair<const wchar_t*, DISPID>> msr = {
      {L"Open", 37}, {L"claimdevice", 32}, {L"DeviceEnabled", 17}, {L"ReleaseDevice", 38}, {L"Close", 35},
      {L"DataEventEnabled", 16}, {L"ResultCode", 22}, {L"State", 24}, {L"TracksToRead", 70},
      {L"DeviceName", 30}, {L"AccountNumber", 50}, {L"ExpirationDate", 56}, {L"FirstName", 57},
      {L"MiddleInitial", 58}, {L"Surname", 63}, {L"Track1Data", 65}, {L"Track2Data", 67},
      {L"Track3Data", 69}};
  for (const auto& [name, id] : msr) EXPECT_EQ(Id(name), id) << id;
  EXPECT_EQ(Id(L"OpenDrawer"), DISPID_UNKNOWN);
}

TEST_F(StandInTest, OpensByKeyNameAndByCustomName) {
  Create(L"OPOS.LineDisplay");
  EXPECT_EQ(Call(L"Open", {standin::TextArg(L"Customer Pole")}), 0);
  EXPECT_EQ(Call(L"ClaimDevice", {standin::LongArg(1000)}), 0);
  EXPECT_EQ(Call(L"ReleaseDevice", {}), 0);
  EXPECT_EQ(Call(L"Close", {}), 0);
  EXPECT_EQ(Call(L"Open", {standin::TextArg(L"KvDisplay")}), 0);
  EXPECT_EQ(Call(L"Close", {}), 0);
  EXPECT_EQ(Call(L"Open", {standin::TextArg(L"NoSuchDevice")}), 104);
  EXPECT_EQ(Log(),
            "OpenService LineDisplay KvDisplay\nClaim 1000\nRelease\nClose\n"
            "OpenService LineDisplay KvDisplay\nClose\n");
}

TEST_F(StandInTest, DefaultSourceIsTheListedConnectionPoint) {
  Create(L"OPOS.CashDrawer");
  IProvideClassInfo2* info = nullptr;
  ASSERT_EQ(object_->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)), S_OK);
  IID source{};
  EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  info->Release();
  IConnectionPointContainer* container = nullptr;
  ASSERT_EQ(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), S_OK);
  IEnumConnectionPoints* points = nullptr;
  ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
  IConnectionPoint* point = nullptr;
  ULONG fetched = 0;
  ASSERT_EQ(points->Next(1, &point, &fetched), S_OK);
  IID listed{};
  EXPECT_EQ(point->GetConnectionInterface(&listed), S_OK);
  EXPECT_TRUE(IsEqualIID(listed, source));
  EXPECT_EQ(points->Next(1, &point, &fetched), S_FALSE);
  point->Release();
  points->Release();
  container->Release();
}

}  // namespace
