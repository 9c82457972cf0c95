// link_bench: how much time Q5RSetup adds to each RS232 operation beyond a
// plain client doing the same exchange. The simulated decoder on COM1 paces
// its replies at 9600 baud and pauses 20 ms before answering, as a decoder
// does. Round by round, every operation once, the bench presses the real
// program's button (and answers its question, for the operations that ask
// one), waits for the result message, then runs link_reference.exe
// (blocking ReadFile/WriteFile, same port, same line settings, same
// simulator) for the same operation.
//
// Q5RSetup is timed from inside: linkmarks.dll, hooked into its window
// thread, marks the moment the thread takes the press from its queue, the
// moment a message box is created, activated and destroyed.
//   program  = created - start    (the operation, up to asking for its result)
//   message  = activated - created (showing the result box, printed beside)
//   question = destroyed - press   (closing the question box, printed beside)
// where start is the press, or for an operation that asks first the moment
// its answered question box is destroyed: showing and closing message boxes
// is the window system's cost, which varies run by run far more than the
// operation itself, so it is shown beside the figure, not inside it.
//   extra   = program - reference client's time
// per operation (per block for the memory read, which reads ten). Prints
// minimum, median and maximum over the runs and one `figure:` line each.
// A figure, not a test: it never fails on time.
//   link_bench [--runs N] [--only OPERATION] [--busy]
// --busy names the figures "...-busy" with their goals under load: the
// caller loads the machine (stress-ng) while this runs, and the reference
// client runs under the same load.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "guidriver_win.h"
#include "linkmarks_win.h"
#include "resource.h"
#include "serialdecoder_win.h"
#include "windownames.h"

namespace {

std::wstring BesideMe(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir = path;
  return dir.substr(0, dir.find_last_of(L'\\') + 1) + name;
}

HWND Control(HWND main, int id) {
  HWND client = guidriver::FindChild(main, guidriver::WindowQuery{}.Class(L"MDIClient"));
  HWND child = client ? guidriver::FindChild(client, guidriver::WindowQuery{}.Class(q5r::kChildWindowClass)) : nullptr;
  for (HWND c : child ? guidriver::Children(child) : std::vector<HWND>{}) {
    if (GetDlgCtrlID(c) == id) return c;
  }
  return nullptr;
}

// The marks linkmarks.dll takes inside Q5RSetup, and the hooks that take them.
class Marks {
 public:
  explicit Marks(DWORD thread) {
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(linkmarks::Marks),
                                  linkmarks::kMappingName);
    if (mapping_) {
      marks_ = static_cast<linkmarks::Marks*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(linkmarks::Marks)));
    }
    module_ = LoadLibraryW(BesideMe(L"linkmarks.dll").c_str());
    if (!module_ || !marks_) return;
    const auto proc = [&](const char* name) { return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module_, name))); };
    getMessage_ = SetWindowsHookExW(WH_GETMESSAGE, proc("LinkMarksGetMessage"), module_, thread);
    cbt_ = SetWindowsHookExW(WH_CBT, proc("LinkMarksCbt"), module_, thread);
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    ticksPerMs_ = static_cast<double>(f.QuadPart) / 1000.0;
  }
  ~Marks() {
    if (cbt_) UnhookWindowsHookEx(cbt_);
    if (getMessage_) UnhookWindowsHookEx(getMessage_);
    if (module_) FreeLibrary(module_);
    if (marks_) UnmapViewOfFile(marks_);
    if (mapping_) CloseHandle(mapping_);
  }
  Marks(const Marks&) = delete;
  Marks& operator=(const Marks&) = delete;

  bool Hooked() const { return getMessage_ && cbt_; }
  void Clear() {
    marks_->click = 0;
    marks_->created = 0;
    marks_->activated = 0;
    marks_->destroyed = 0;
  }
  const linkmarks::Marks& Get() const { return *marks_; }
  double Ms(LONGLONG from, LONGLONG to) const { return static_cast<double>(to - from) / ticksPerMs_; }

 private:
  HANDLE mapping_ = nullptr;
  linkmarks::Marks* marks_ = nullptr;
  HMODULE module_ = nullptr;
  HHOOK getMessage_ = nullptr;
  HHOOK cbt_ = nullptr;
  double ticksPerMs_ = 1;
};

struct Timing {
  double program = -1;   // start to the result message being created
  double message = -1;   // the result message created to activated
  double question = -1;  // the answer to the question box destroyed (asks only)
};

// Presses `button`; when `asks`, answers its question with OK, and the time
// runs from the question box's end. Waits for the result message, reads the
// marks and closes the message again.
Timing Time(const guidriver::Process& app, HWND main, Marks& marks, int button, bool asks) {
  HWND control = Control(main, button);
  if (!control) return {};
  marks.Clear();
  PostMessageW(control, BM_CLICK, 0, 0);
  if (asks) {
    const auto question = guidriver::WaitMessageBox(app.Pid(), 15000);
    if (!question) return {};
    guidriver::Poll([&] { return marks.Get().activated != 0; }, 5000);
    marks.Clear();
    guidriver::Press(*question, L"OK");
    if (!guidriver::Poll([&] { return !IsWindow(question->hwnd); }, 5000)) return {};
  }
  const auto result = guidriver::WaitMessageBox(app.Pid(), 15000);
  if (!result) return {};
  // The box is visible to the bench a moment before it is activated.
  guidriver::Poll([&] { return marks.Get().activated != 0; }, 5000);
  const linkmarks::Marks m = {marks.Get().click, marks.Get().created, marks.Get().activated, marks.Get().destroyed};
  Timing t;
  const LONGLONG start = asks ? m.destroyed : m.click;
  if (asks && m.click && m.destroyed >= m.click) t.question = marks.Ms(m.click, m.destroyed);
  if (start && m.created > start) t.program = marks.Ms(start, m.created);
  if (m.created && m.activated >= m.created) t.message = marks.Ms(m.created, m.activated);
  guidriver::Press(*result, L"OK");
  guidriver::Poll([&] { return !IsWindow(result->hwnd) && IsWindowEnabled(control); }, 5000);
  return t;
}

// True when neither `top` nor any window inside it has an area left to paint.
bool Painted(HWND top) {
  if (GetUpdateRect(top, nullptr, FALSE)) return false;
  bool clean = true;
  EnumChildWindows(
      top,
      [](HWND hwnd, LPARAM flag) -> BOOL {
        if (!GetUpdateRect(hwnd, nullptr, FALSE)) return TRUE;
        *reinterpret_cast<bool*>(flag) = false;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&clean));
  return clean;
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
  std::string only;
  bool busy = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    if (arg == "--only" && i + 1 < argc) only = argv[++i];
    if (arg == "--busy") busy = true;
  }
  // The decoder's memory holds ten records of 60 characters (620 bytes of
  // stream, ten blocks) for every read. A clear empties it, and the
  // simulator loads records again only when they change, so the letters
  // alternate round by round.
  const std::string base = "baud=9600\nturnaround-ms=20\nupload-section=mag\n";
  const auto withRecords = [&](int round) {
    std::string text = base;
    for (char c = 'a'; c < 'a' + 10; ++c) text += "record=" + std::string(60, round % 2 ? c - 'a' + 'A' : c) + "\n";
    return text;
  };
  testbed::SerialDecoder decoder(1, withRecords(0));
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
    double busyGoalMs;
  };
  const Operation all[] = {
      {"download", "download", IDM_CONFIG_TRANSMIT, IDC_CMDTRANSMIT, false, 1, 15, 30},
      {"upload", "upload", IDM_CONFIG_TRANSMIT, IDC_CMDRECEIVE, true, 1, 15, 30},
      {"version", "version", IDM_CONFIG_TRANSMIT, IDC_CMDVERSION, false, 1, 15, 30},
      {"memory-read", "read", IDM_TOOLS_RDM, IDC_CMDREAD, true, 10, 1, 3},
      {"clear", "clear", IDM_TOOLS_RDM, IDC_CMDCLEAR, true, 1, 15, 30},
  };
  std::vector<Operation> operations;
  for (const Operation& op : all) {
    if (only.empty() || only == op.name) operations.push_back(op);
  }
  if (operations.empty()) {
    std::printf("link: no operation named %s\n", only.c_str());
    return 2;
  }
  Marks marks(GetWindowThreadProcessId(main, nullptr));
  if (!marks.Hooked()) {
    std::printf("link: cannot hook Q5RSetup's window thread (error %lu)\n", GetLastError());
    return 1;
  }
  // Round by round, every operation once, so that a slow spell of a shared
  // machine spreads over all of them instead of taking one operation's runs.
  struct Samples {
    std::vector<double> program, reference, message, question, extra;
    int failed = 0;
  };
  std::vector<Samples> samples(operations.size());
  int openWindow = 0;
  for (int round = 0; round < runs; ++round) {
    for (std::size_t i = 0; i < operations.size(); ++i) {
      const Operation& op = operations[i];
      if (op.window != openWindow) {
        // Leaving the memory window with a read not saved asks first: no.
        guidriver::InvokeCommand(main, op.window);
        guidriver::Poll(
            [&] {
              if (auto box = guidriver::FindMessageBox(app.Pid())) guidriver::Press(*box, L"No");
              return Control(main, op.button) != nullptr;
            },
            10000);
        // A window just opened is still being drawn: wait until nothing of
        // the program's is left to paint, so the first press meets the
        // window as every later one does.
        guidriver::Poll([&] { return Painted(main); }, 10000);
        openWindow = op.window;
      }
      if (op.blocks > 1) decoder.SetSettings(withRecords(round));
      const Timing t = Time(app, main, marks, op.button, op.asks);
      const double ref = Reference(op.reference);
      Samples& s = samples[i];
      if (t.program < 0 || t.message < 0 || ref < 0 || (op.asks && t.question < 0)) {
        ++s.failed;
        continue;
      }
      s.program.push_back(t.program);
      s.message.push_back(t.message);
      if (op.asks) s.question.push_back(t.question);
      s.reference.push_back(ref);
      s.extra.push_back((t.program - ref) / op.blocks);
    }
  }
  std::vector<std::string> figures;
  for (std::size_t i = 0; i < operations.size(); ++i) {
    const Operation& op = operations[i];
    const Samples& s = samples[i];
    const Stats extraStats = Summary(s.extra);
    std::printf("  %-12s Q5RSetup %s, reference %s, extra%s %s; message box %s", op.name,
                Describe(Summary(s.program)).c_str(), Describe(Summary(s.reference)).c_str(),
                op.blocks > 1 ? " per block" : "", Describe(extraStats).c_str(), Describe(Summary(s.message)).c_str());
    if (op.asks) std::printf("; question closes %s", Describe(Summary(s.question)).c_str());
    std::printf(" (min / median / max of %zu", s.extra.size());
    std::printf(s.failed ? ", %d runs failed)\n" : ")\n", s.failed);
    char figure[160];
    std::snprintf(figure, sizeof figure, "figure: link-%s-extra%s%s %.1f ms (goal <= %.0f)", op.name,
                  op.blocks > 1 ? "-per-block" : "", busy ? "-busy" : "", extraStats.median,
                  busy ? op.busyGoalMs : op.goalMs);
    figures.push_back(figure);
  }
  std::printf("  Q5RSetup: its press (or its question's end) to its result message being created;\n"
              "  message box: created to on screen; question closes: the answer to the box destroyed;\n"
              "  extra = Q5RSetup - reference, run by run\n");
  for (const std::string& f : figures) std::printf("%s\n", f.c_str());
  return 0;
}
