// drawer_bench: how long after the hand closes cash drawer 1 its service
// object's SOStatusUpdate(0) reaches the control object, over a number of
// closes (--closes N, default 20), against a bare poll of the driver's
// status register once a second from a thread of the same process: the
// delay the monitor's design (a poll a second) sets, with nothing on top.
// Installs TillportSim.sys as the kernel service "Tillport" and registers
// KvCash1So.dll itself, and removes the service at the end. Runs inside a
// Wine session with a persistent wineserver. Exit status 0, or 1 when the
// set-up or a close failed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "controlobject_win.h"
#include "drawer.h"
#include "handle_win.h"
#include "kernelservice_win.h"
#include "registry_win.h"
#include "tillport_sim_ioctl.h"

namespace {

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Ms(LONGLONG from, LONGLONG to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(to - from) * 1000.0 / static_cast<double>(f.QuadPart);
}

kit::UniqueHandle OpenTillport() {
  return kit::UniqueHandle(CreateFileA(TILLPORT_USER_PATH_A, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
}

bool SetDrawer(HANDLE device, bool closed) {
  TillportSimDrawerInput in = {1, closed ? 1u : 0u};
  DWORD returned = 0;
  return DeviceIoControl(device, IOCTL_TILLPORTSIM_SET_DRAWER, &in, sizeof in, nullptr, 0, &returned, nullptr) !=
         FALSE;
}

// The reference: a thread that reads the status register once a second and
// notes when it first sees drawer 1 closed after being open.
struct BarePoller {
  kit::UniqueHandle device = OpenTillport();
  kit::UniqueHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  kit::UniqueHandle thread;
  CRITICAL_SECTION lock;
  std::vector<LONGLONG> closedSeen;

  BarePoller() { InitializeCriticalSection(&lock); }
  ~BarePoller() {
    SetEvent(stop.get());
    if (thread) WaitForSingleObject(thread.get(), INFINITE);
    DeleteCriticalSection(&lock);
  }
  BarePoller(const BarePoller&) = delete;
  BarePoller& operator=(const BarePoller&) = delete;
  void Start() {
    thread.reset(CreateThread(nullptr, 0, [](void* p) -> DWORD {
      static_cast<BarePoller*>(p)->Run();
      return 0;
    }, this, 0, nullptr));
  }
  void Run() {
    bool wasOpen = false;
    while (WaitForSingleObject(stop.get(), cash::kPollMs) == WAIT_TIMEOUT) {
      std::uint32_t port = cash::kStatusOffset;
      std::uint8_t out[16] = {};
      DWORD returned = 0;
      DeviceIoControl(device.get(), IOCTL_READ_PORT_UCHAR, &port, 4, out, sizeof out, &returned, nullptr);
      const bool open = (out[0] & cash::kDrawers[0].statusMask) == 0;
      if (wasOpen && !open) {
        EnterCriticalSection(&lock);
        closedSeen.push_back(Now());
        LeaveCriticalSection(&lock);
      }
      wasOpen = open;
    }
  }
  // The first time it saw the drawer closed after `t`, or 0.
  LONGLONG SeenAfter(LONGLONG t) {
    EnterCriticalSection(&lock);
    LONGLONG found = 0;
    for (LONGLONG s : closedSeen) {
      if (s >= t) {
        found = s;
        break;
      }
    }
    LeaveCriticalSection(&lock);
    return found;
  }
};

std::wstring Folder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

bool Register(const std::wstring& dll) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = L"regsvr32.exe /s \"" + dll + L"\"";
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code == 0;
}

struct Stats {
  double min, median, max;
};
Stats Of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  return {v.front(), median, v.back()};
}

int Run(int closes) {
  testbed::KernelService driver("Tillport", testbed::BesideThisProgram("TillportSim.sys"));
  std::string error;
  if (!driver.Install(error) || driver.Start() != ERROR_SUCCESS ||
      !testbed::WaitForDevice(TILLPORT_USER_PATH_W, true, 20000)) {
    std::fprintf(stderr, "drawer_bench: cannot start TillportSim as Tillport %s\n", error.c_str());
    return 1;
  }
  if (!Register(Folder() + L"KvCash1So.dll")) {
    std::fprintf(stderr, "drawer_bench: regsvr32 KvCash1So.dll failed\n");
    return 1;
  }
  const std::string keyPath = std::string(cash::kDeviceClassKey) + "KvCash1";
  {
    kit::UniqueKey key;
    kit::CreateKey(HKEY_LOCAL_MACHINE, keyPath, KEY_ALL_ACCESS, key);
    kit::SetString(key.get(), nullptr, "KvSo.KvCash1");
  }
  kit::UniqueHandle hand = OpenTillport();
  SetDrawer(hand.get(), true);

  std::vector<double> latencies, reference;
  int result = 0;
  {
    testbed::ControlObject control;
    IDispatch* so = nullptr;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"KvSO.KvCash1", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&so)))) {
      std::fprintf(stderr, "drawer_bench: cannot create KvSO.KvCash1\n");
      return 1;
    }
    BarePoller poller;
    poller.Start();
    const auto updates = [&] { return control.Count("SOStatusUpdate"); };
    bool ok = testbed::CallLong(so, L"OpenService",
                                {testbed::Text(L"CashDrawer"), testbed::Text(L"KvCash1"), testbed::Dispatch(&control)}) == 0 &&
              testbed::CallLong(so, L"Claim", {testbed::Long(0)}) == 0;
    testbed::CallByName(so, L"SetPropertyNumber", {testbed::Long(3), testbed::Long(1)}, nullptr);
    ok = ok && testbed::PumpUntil([&] { return updates() >= 1; }, 5000);  // the first poll: closed
    for (int i = 0; ok && i < closes; ++i) {
      SetDrawer(hand.get(), false);
      const std::size_t seen = updates();
      ok = testbed::PumpUntil([&] { return updates() > seen; }, 5000);  // reported open
      // Close at a different point of the poll cycle each time.
      testbed::PumpUntil([] { return false; }, static_cast<DWORD>((i * 373) % 1000));
      const std::size_t before = updates();
      const LONGLONG closedAt = Now();
      SetDrawer(hand.get(), true);
      ok = ok && testbed::PumpUntil([&] { return updates() > before; }, 5000);
      if (!ok) break;
      const testbed::EventCall last = control.Calls().back();
      if (last.args.empty() || last.args[0] != 0) {
        ok = false;
        break;
      }
      latencies.push_back(Ms(closedAt, last.time));
      testbed::PumpUntil([&] { return poller.SeenAfter(closedAt) != 0; }, 3000);
      if (const LONGLONG seenAt = poller.SeenAfter(closedAt)) reference.push_back(Ms(closedAt, seenAt));
    }
    testbed::CallLong(so, L"Close");
    so->Release();
    if (!ok || latencies.empty()) {
      std::fprintf(stderr, "drawer_bench: a close was not reported\n");
      result = 1;
    }
  }
  kit::DeleteTree(HKEY_LOCAL_MACHINE, keyPath);
  if (result != 0) return result;
  const Stats s = Of(latencies);
  std::printf("   %zu closes: SOStatusUpdate(0) after min %.0f, median %.0f, max %.0f ms", latencies.size(), s.min,
              s.median, s.max);
  if (!reference.empty()) {
    const Stats r = Of(reference);
    std::printf("; bare 1 s poll of the driver: min %.0f, median %.0f, max %.0f ms", r.min, r.median, r.max);
  }
  std::printf("\nfigure: drawer-status-latency %.0f ms (goal <= 1100)\n", s.median);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int closes = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--closes") == 0 && i + 1 < argc) {
      closes = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: drawer_bench [--closes N]   (N >= 1, default 20)\n");
      return 2;
    }
  }
  if (closes < 1) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int result = Run(closes);
  CoUninitialize();
  return result;
}
