#include "cashtest_win.h"

#include <tlhelp32.h>

#include <climits>
#include <cstring>

#include "registry_win.h"

namespace cashtest {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring DllPath(const cash::DrawerVariant& drawer) {
  const std::string module = drawer.module;
  return ProgramFolder() + std::wstring(module.begin(), module.end()) + L".dll";
}

int ThreadCount() {
  kit::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  const DWORD self = GetCurrentProcessId();
  for (BOOL ok = Thread32First(snapshot.get(), &entry); ok; ok = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  return count;
}

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Ms(LONGLONG from, LONGLONG to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string DeviceKeyPath(const cash::DrawerVariant& drawer) {
  return std::string(cash::kDeviceClassKey) + "KvCash" + std::to_string(drawer.number);
}

void WriteDeviceKey(const cash::DrawerVariant& drawer, const std::string& capStatus, const std::string& opSysNT) {
  kit::DeleteTree(HKEY_LOCAL_MACHINE, DeviceKeyPath(drawer));
  kit::UniqueKey key;
  ASSERT_EQ(kit::CreateKey(HKEY_LOCAL_MACHINE, DeviceKeyPath(drawer), KEY_ALL_ACCESS, key), ERROR_SUCCESS);
  kit::SetString(key.get(), nullptr, std::string("KvSo.KvCash") + std::to_string(drawer.number));
  if (!capStatus.empty()) kit::SetString(key.get(), "CapStatus", capStatus);
  if (!opSysNT.empty()) kit::SetString(key.get(), "OpSysNT", opSysNT);
}

void DeleteDeviceKeys() {
  for (const cash::DrawerVariant& d : cash::kDrawers) kit::DeleteTree(HKEY_LOCAL_MACHINE, DeviceKeyPath(d));
}

// ---- Hand ------------------------------------------------------------------

bool Hand::Open() {
  device_.reset(CreateFileA(TILLPORT_USER_PATH_A, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr));
  return static_cast<bool>(device_);
}

bool Hand::SetDrawer(int drawer, bool closed) {
  TillportSimDrawerInput in = {static_cast<std::uint32_t>(drawer), closed ? 1u : 0u};
  DWORD returned = 0;
  return DeviceIoControl(device_.get(), IOCTL_TILLPORTSIM_SET_DRAWER, &in, sizeof in, nullptr, 0, &returned,
                         nullptr) != FALSE;
}

std::vector<TillportSimLogEntry> Hand::Log() {
  std::vector<std::uint8_t> out(sizeof(TillportSimLogHeader) + 256 * sizeof(TillportSimLogEntry));
  DWORD returned = 0;
  if (!DeviceIoControl(device_.get(), IOCTL_TILLPORTSIM_READ_LOG, nullptr, 0, out.data(),
                       static_cast<DWORD>(out.size()), &returned, nullptr)) {
    return {};
  }
  TillportSimLogHeader header;
  std::memcpy(&header, out.data(), sizeof header);
  std::vector<TillportSimLogEntry> entries(header.Count);
  if (header.Count) {
    std::memcpy(entries.data(), out.data() + sizeof header, header.Count * sizeof(TillportSimLogEntry));
  }
  return entries;
}

bool Hand::ClearLog() {
  DWORD returned = 0;
  return DeviceIoControl(device_.get(), IOCTL_TILLPORTSIM_CLEAR_LOG, nullptr, 0, nullptr, 0, &returned,
                         nullptr) != FALSE;
}

// ---- Drawer ------------------------------------------------------------------

Drawer::Drawer(const cash::DrawerVariant& v) : variant(v) {
  const std::string progId = v.progId;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(std::wstring(progId.begin(), progId.end()).c_str(), &clsid))) return;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&so_));
}

Drawer::~Drawer() { Drop(); }

void Drawer::Drop() {
  if (so_) so_->Release();
  so_ = nullptr;
}

long Drawer::Open() {
  const std::wstring device = L"KvCash" + std::to_wstring(variant.number);
  return Call(L"OpenService",
              {testbed::Text(L"CashDrawer"), testbed::Text(device.c_str()), testbed::Dispatch(&control)});
}

long Drawer::Call(const wchar_t* name, std::vector<VARIANT> args) {
  return testbed::CallLong(so_, name, std::move(args));
}

long Drawer::Number(long index) { return Call(L"GetPropertyNumber", {testbed::Long(index)}); }

void Drawer::SetNumber(long index, long value) {
  testbed::CallByName(so_, L"SetPropertyNumber", {testbed::Long(index), testbed::Long(value)}, nullptr);
}

std::wstring Drawer::String(long index) { return testbed::CallString(so_, L"GetPropertyString", index); }

long Drawer::Wait(long timeout, long frequency, long duration, long delay) {
  return Call(L"WaitForDrawerClose", {testbed::Long(timeout), testbed::Long(frequency), testbed::Long(duration),
                                       testbed::Long(delay)});
}

std::vector<long> Drawer::Updates() {
  std::vector<long> data;
  for (const testbed::EventCall& c : control.Calls()) {
    if (c.name == "SOStatusUpdate") data.push_back(c.args.empty() ? LONG_MIN : c.args[0]);
  }
  return data;
}

bool Drawer::PumpUntilUpdates(std::size_t count, DWORD timeoutMs) {
  return testbed::PumpUntil([&] { return control.Count("SOStatusUpdate") >= count; }, timeoutMs);
}

// ---- Fixture -------------------------------------------------------------------

void CashTest::SetUpTestSuite() {
  static bool registered = false;
  if (registered) return;
  for (const cash::DrawerVariant& d : cash::kDrawers) {
    const std::string error = testbed::RegisterServer(DllPath(d));
    ASSERT_TRUE(error.empty()) << error;
  }
  registered = true;
}

void CashTest::SetUp() { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }

void CashTest::TearDown() {
  DeleteDeviceKeys();
  CoUninitialize();
}

}  // namespace cashtest
