// link_bench: how much time Q5RSetup adds to each RS232 operation beyond
// the time the bytes need on the wire. The simulated decoder on COM1 paces
// its replies at 9600 baud (10 bits a byte) and answers at once; the bench
// presses each button of the real program, times it to the result message,
// and subtracts the modelled wire time of the paced reply:
//   download   1 reply byte          upload, version   84 bytes
//   memory     65 bytes per block    clear             1 byte
// Prints the median of several runs per operation, e.g.
//   link: download 12.3 ms over the wire time (1.0 ms), ...
// A figure, not a test: it never fails on time.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "guidriver_win.h"
#include "resource.h"
#include "serialdecoder_win.h"
#include "windownames.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kByteMs = 10.0 * 1000.0 / 9600.0;
constexpr int kRuns = 5;

std::wstring BesideMe(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir = path;
  return dir.substr(0, dir.find_last_of(L'\\') + 1) + name;
}

// Waits for a message box of `pid` with a 1 ms poll; returns it and the
// time it was first seen.
std::optional<guidriver::MessageBoxInfo> WaitBox(DWORD pid, Clock::time_point& seen) {
  const auto end = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < end) {
    if (auto box = guidriver::FindMessageBox(pid)) {
      seen = Clock::now();
      return box;
    }
    Sleep(1);
  }
  return std::nullopt;
}

HWND Control(HWND main, int id) {
  HWND client = guidriver::FindChild(main, guidriver::WindowQuery{}.Class(L"MDIClient"));
  HWND child = client ? guidriver::FindChild(client, guidriver::WindowQuery{}.Class(q5r::kChildWindowClass)) : nullptr;
  for (HWND c : child ? guidriver::Children(child) : std::vector<HWND>{}) {
    if (GetDlgCtrlID(c) == id) return c;
  }
  return nullptr;
}

// Presses `button`; when `asks`, answers its question with OK first. The
// time runs from the press (or the answer) to the result message, which is
// closed again. Returns milliseconds, or -1 when something went wrong.
double Time(const guidriver::Process& app, HWND main, int button, bool asks) {
  HWND control = Control(main, button);
  if (!control) return -1;
  auto start = Clock::now();
  PostMessageW(control, BM_CLICK, 0, 0);
  Clock::time_point seen;
  if (asks) {
    auto question = WaitBox(app.Pid(), seen);
    if (!question) return -1;
    start = Clock::now();
    guidriver::Press(*question, L"OK");
    guidriver::Poll([&] { return !IsWindow(question->hwnd); }, 5000);
  }
  auto result = WaitBox(app.Pid(), seen);
  if (!result) return -1;
  const double ms = std::chrono::duration<double, std::milli>(seen - start).count();
  guidriver::Press(*result, L"OK");
  guidriver::Poll([&] { return !IsWindow(result->hwnd) && IsWindowEnabled(control); }, 5000);
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // --turnaround MS: the decoder's own pause before each answer (default 0).
  std::string turnaround = "0";
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--turnaround") turnaround = argv[i + 1];
  }
  // Ten records of 60 characters: 620 bytes of stream, ten blocks.
  std::vector<std::string> records;
  for (char c = 'a'; c < 'a' + 10; ++c) records.push_back("--record=" + std::string(60, c));
  const std::string settings = "baud=9600\nturnaround-ms=" + turnaround + "\n";
  testbed::SerialDecoder decoder(1, settings + "upload-section=mag\n", records);
  if (!decoder.Ready()) {
    std::printf("link: no simulated decoder: %s\n", decoder.Error().c_str());
    return 1;
  }
  guidriver::Process app(BesideMe(L"Q5RSetup.exe"));
  HWND main = guidriver::WaitForWindow(app.Pid(), guidriver::WindowQuery{}.Class(q5r::kMainWindowClass), 30000);
  if (!main) return 1;

  struct Operation {
    const char* name;
    int window;
    int button;
    bool asks;
    double wireMs;
    int blocks;  // the figure is per block when above 1
  };
  const Operation operations[] = {
      {"download", IDM_CONFIG_TRANSMIT, IDC_CMDTRANSMIT, false, 1 * kByteMs, 1},
      {"upload", IDM_CONFIG_TRANSMIT, IDC_CMDRECEIVE, true, 84 * kByteMs, 1},
      {"version", IDM_CONFIG_TRANSMIT, IDC_CMDVERSION, false, 84 * kByteMs, 1},
      {"memory read", IDM_TOOLS_RDM, IDC_CMDREAD, true, 10 * 65 * kByteMs, 10},
      {"clear", IDM_TOOLS_RDM, IDC_CMDCLEAR, true, 1 * kByteMs, 1},
  };
  // What showing the result message alone costs: a download on a port with
  // no device fails before anything is sent.
  guidriver::InvokeCommand(main, IDM_CONFIG_TRANSMIT);
  guidriver::Poll([&] { return Control(main, IDC_OPTPORT0 + 1) != nullptr; }, 10000);
  SendMessageW(Control(main, IDC_OPTPORT0 + 1), BM_CLICK, 0, 0);
  std::vector<double> boxTimes;
  for (int run = 0; run < kRuns; ++run) boxTimes.push_back(Time(app, main, IDC_CMDTRANSMIT, false));
  SendMessageW(Control(main, IDC_OPTPORT0), BM_CLICK, 0, 0);
  std::printf("  %-12s median %.1f ms of %zu runs\n", "message only", Median(boxTimes), boxTimes.size());

  int openWindow = IDM_CONFIG_TRANSMIT;
  std::string line = "link (of which " + std::to_string(static_cast<int>(Median(boxTimes) + 0.5)) +
                     " ms is showing the result message):";
  for (const Operation& op : operations) {
    if (op.window != openWindow) {
      guidriver::InvokeCommand(main, op.window);
      guidriver::Poll([&] { return Control(main, op.button) != nullptr; }, 10000);
      openWindow = op.window;
    }
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
      if (op.button == IDC_CMDCLEAR) decoder.SetSettings(settings);
      const double ms = Time(app, main, op.button, op.asks);
      if (ms >= 0) times.push_back(ms);
    }
    const double overhead = (Median(times) - op.wireMs) / op.blocks;
    char part[160];
    std::snprintf(part, sizeof part, " %s %.1f ms%s over the wire time (%.1f ms);", op.name, overhead,
                  op.blocks > 1 ? " per block" : "", op.wireMs / op.blocks);
    line += part;
    std::printf("  %-12s median %.1f ms of %zu runs\n", op.name, Median(times), times.size());
  }
  std::printf("%s\n", line.c_str());
  return 0;
}
