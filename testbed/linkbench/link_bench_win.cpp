// link_bench: how much time Q5RSetup adds to each RS232 operation beyond a
// plain client doing the same exchange. The simulated decoder on COM1 paces
// its replies at 9600 baud and pauses 20 ms before answering, as a decoder
// does. For every run of every operation the bench presses the real
// program's button and times it to the moment the result message is on
// screen, then runs link_reference.exe (blocking ReadFile/WriteFile, same
// port, same line settings, same simulator) for the same operation. The
// cost of showing the result message alone (the same operation on COM2,
// which must fail to open at once: testbed/report.sh maps it to a folder)
// is measured in the same run and taken off, so the figure is what the
// program adds:
//   extra = Q5RSetup's time - message alone - reference client's time
// per operation (per block for the memory read, which reads ten). Prints
// minimum, median and maximum over the runs and one `figure:` line each.
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

struct Stats {
  double min = -1, median = -1, max = -1;
};

Stats Summary(std::vector<double> v) {
  if (v.empty()) return {};
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
  return {v.front(), median, v.back()};
}

std::string Describe(const Stats& s) {
  char text[96];
  std::snprintf(text, sizeof text, "%.1f / %.1f / %.1f ms", s.min, s.median, s.max);
  return text;
}

// Runs the reference client for one operation and returns its time, or -1.
double Reference(const std::string& op) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::wstring command = L"\"" + BesideMe(L"link_reference.exe") + L"\" --port 1 --op " +
                         std::wstring(op.begin(), op.end());
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string out;
  if (started) {
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(readEnd);
  if (out.rfind("ms ", 0) != 0) {
    std::printf("note: link_reference --op %s: %s", op.c_str(), out.empty() ? "no output\n" : out.c_str());
    return -1;
  }
  return std::atof(out.c_str() + 3);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 9;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  // Ten records of 60 characters: 620 bytes of stream, ten blocks.
  std::vector<std::string> records;
  for (char c = 'a'; c < 'a' + 10; ++c) records.push_back("--record=" + std::string(60, c));
  const std::string settings = "baud=9600\nturnaround-ms=20\n";
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
    const char* reference;  // link_reference's --op
    int window;
    int button;
    bool asks;
    int blocks;  // the figure is per block when above 1
    double goalMs;
  };
  const Operation operations[] = {
      {"download", "download", IDM_CONFIG_TRANSMIT, IDC_CMDTRANSMIT, false, 1, 15},
      {"upload", "upload", IDM_CONFIG_TRANSMIT, IDC_CMDRECEIVE, true, 1, 15},
      {"version", "version", IDM_CONFIG_TRANSMIT, IDC_CMDVERSION, false, 1, 15},
      {"memory-read", "read", IDM_TOOLS_RDM, IDC_CMDREAD, true, 10, 5},
      {"clear", "clear", IDM_TOOLS_RDM, IDC_CMDCLEAR, true, 1, 15},
  };
  // What showing the result message costs: the same operation on COM2,
  // where no device is, ends in a message at once (after the question, for
  // the operations that ask one). It is measured in every run, next to the
  // real operation, so both see the same load of a shared machine.
  const auto choosePort = [&](int port) { SendMessageW(Control(main, IDC_OPTPORT0 + port - 1), BM_CLICK, 0, 0); };
  int openWindow = 0;
  std::vector<std::string> figures;
  std::vector<double> allBoxes;
  for (const Operation& op : operations) {
    if (op.window != openWindow) {
      guidriver::InvokeCommand(main, op.window);
      guidriver::Poll([&] { return Control(main, op.button) != nullptr; }, 10000);
      openWindow = op.window;
    }
    std::vector<double> program, reference, boxes, extra;
    for (int run = 0; run < runs; ++run) {
      choosePort(2);
      const double box = Time(app, main, op.button, op.asks);
      choosePort(1);
      if (op.button == IDC_CMDCLEAR) decoder.SetSettings(settings);
      const double ms = Time(app, main, op.button, op.asks);
      const double ref = Reference(op.reference);
      if (box < 0 || ms < 0 || ref < 0) continue;
      boxes.push_back(box);
      program.push_back(ms);
      reference.push_back(ref);
      extra.push_back((ms - box - ref) / op.blocks);
    }
    allBoxes.insert(allBoxes.end(), boxes.begin(), boxes.end());
    const Stats extraStats = Summary(extra);
    std::printf("  %-12s Q5RSetup %s, message alone %s, reference %s, extra%s %s (min / median / max of %zu)\n",
                op.name, Describe(Summary(program)).c_str(), Describe(Summary(boxes)).c_str(),
                Describe(Summary(reference)).c_str(), op.blocks > 1 ? " per block" : "", Describe(extraStats).c_str(),
                extra.size());
    char figure[160];
    std::snprintf(figure, sizeof figure, "figure: link-%s-extra%s %.1f ms (goal <= %.0f)", op.name,
                  op.blocks > 1 ? "-per-block" : "", extraStats.median, op.goalMs);
    figures.push_back(figure);
  }
  choosePort(1);
  std::printf("  extra = Q5RSetup - message alone - reference, run by run; message alone: median %.1f ms\n",
              Summary(allBoxes).median);
  for (const std::string& f : figures) std::printf("%s\n", f.c_str());
  return 0;
}
