// startup_bench: how much longer a program takes than the minimal reference
// window to show its first window.
//
//   startup_bench [--runs N] [exe captionPrefix referenceExe referencePrefix]
//
// Without paths it measures Q5RSetup.exe ("Q5R Configuration: ") against
// minimalwin.exe ("Minimal Window"), both beside the bench. Paths may be
// Windows paths or, under Wine, Unix paths. Each program is started once to
// warm the caches, then N times (default 9) alternating with the other run
// by run, so both see the same load of a shared machine; a run is the time
// from CreateProcess to the first visible top-level window whose caption
// starts with the prefix. Prints each run, then minimum, median and maximum
// of both and the ratio of the medians, for example:
//   startup: Q5RSetup.exe 212 / 240 / 301 ms, minimal 170 / 180 / 222 ms (min / median / max of 9)
//   figure: startup-ratio 1.33 x (goal <= 1.5)
// The program runs with the adkb.dll stand-in's defaults (start-up succeeds);
// a message box that shows up anyway is answered and reported.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "guidriver_win.h"

#include <shellapi.h>

namespace {

constexpr int kWindowTimeoutMs = 30000;
constexpr int kExitTimeoutMs = 10000;

struct Subject {
  std::wstring exe;
  std::wstring captionPrefix;
  std::string label;
};

std::wstring WindowsPath(std::wstring path) {
  if (path.starts_with(L"/")) {  // a Unix path given to the bench under Wine
    std::replace(path.begin(), path.end(), L'/', L'\\');
    path = L"Z:" + path;
  }
  return path;
}

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// Answers a message box: "No" where there is one (do not save, do not
// retry), otherwise the first button. Reports what it saw.
void Answer(const guidriver::MessageBoxInfo& box, const std::string& label) {
  std::printf("note: %s showed a message box \"%s\": %s\n", label.c_str(), guidriver::Narrow(box.caption).c_str(),
              guidriver::Narrow(box.text).c_str());
  if (!guidriver::Press(box, L"&No") && !box.buttons.empty()) guidriver::Press(box, box.buttons.front());
}

// Milliseconds to the first window, or -1.
int MeasureOnce(const Subject& s) {
  // No inherited stand-in settings: the program must start normally.
  guidriver::Process p(s.exe, {}, {}, {{L"ADKB_STANDIN_INIT", L""}, {L"ADKB_STANDIN_LOG", L""}});
  if (!p.Started()) {
    std::printf("error: cannot start %s (error %lu)\n", guidriver::Narrow(s.exe).c_str(), p.StartError());
    return -1;
  }
  HWND window = nullptr;
  int elapsed = -1;
  guidriver::Poll(
      [&] {
        if ((window = guidriver::FindTopWindow(p.Pid(), {.captionPrefix = s.captionPrefix}))) {
          elapsed = p.MillisecondsSinceStart();
          return true;
        }
        if (auto box = guidriver::FindMessageBox(p.Pid())) Answer(*box, s.label);
        return !p.IsRunning();
      },
      kWindowTimeoutMs);
  if (!window) {
    std::printf("error: no window \"%s...\" from %s\n%s", guidriver::Narrow(s.captionPrefix).c_str(),
                s.label.c_str(), guidriver::Narrow(guidriver::DescribeWindows(p.Pid())).c_str());
    return -1;
  }
  // A start-up message box comes after the main window (it wants a visible
  // owner). Once the program waits for input it is either up or not coming.
  for (int boxes = 0; boxes < 5 && WaitForInputIdle(p.Handle(), 5000) == 0; ++boxes) {
    const auto box = guidriver::FindMessageBox(p.Pid());
    if (!box) break;
    Answer(*box, s.label);
    guidriver::Poll([&] { return !IsWindow(box->hwnd); }, kExitTimeoutMs);
  }
  guidriver::Close(window);
  const bool ended = guidriver::Poll(
      [&] {
        if (auto box = guidriver::FindMessageBox(p.Pid())) Answer(*box, s.label);
        return !p.IsRunning();
      },
      kExitTimeoutMs);
  if (!ended) std::printf("note: %s did not close within %d ms; killed\n", s.label.c_str(), kExitTimeoutMs);
  return elapsed;  // ~Process kills what is left
}

double Median(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

std::string Describe(const std::vector<int>& v) {
  char text[96];
  std::snprintf(text, sizeof text, "%d / %.0f / %d ms", *std::min_element(v.begin(), v.end()), Median(v),
                *std::max_element(v.begin(), v.end()));
  return text;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv + 1, argv + argc);
  LocalFree(argv);
  int runs = 9;
  if (args.size() >= 2 && args[0] == L"--runs") {
    runs = std::max(1, _wtoi(args[1].c_str()));
    args.erase(args.begin(), args.begin() + 2);
  }
  if (!args.empty() && args.size() != 4) {
    std::printf("usage: startup_bench [--runs N] [exe captionPrefix referenceExe referencePrefix]\n");
    return 2;
  }
  const std::wstring dir = OwnFolder();
  Subject subjects[2] = {
      {args.empty() ? dir + L"Q5RSetup.exe" : WindowsPath(args[0]), args.empty() ? L"Q5R Configuration: " : args[1], ""},
      {args.empty() ? dir + L"minimalwin.exe" : WindowsPath(args[2]), args.empty() ? L"Minimal Window" : args[3],
       "minimal"},
  };
  subjects[0].label = guidriver::Narrow(subjects[0].exe.substr(subjects[0].exe.find_last_of(L"\\/") + 1));

  for (const auto& s : subjects) {
    if (MeasureOnce(s) < 0) return 1;  // warm-up, not counted
  }
  std::vector<int> times[2];
  for (int run = 1; run <= runs; ++run) {
    for (int i = 0; i < 2; ++i) {
      const int ms = MeasureOnce(subjects[i]);
      if (ms < 0) return 1;
      times[i].push_back(ms);
    }
    std::printf("run %d: %s %d ms, %s %d ms\n", run, subjects[0].label.c_str(), times[0].back(),
                subjects[1].label.c_str(), times[1].back());
    std::fflush(stdout);
  }
  const double program = Median(times[0]);
  const double reference = Median(times[1]);
  std::printf("startup: %s %s, %s %s (min / median / max of %d)\n", subjects[0].label.c_str(),
              Describe(times[0]).c_str(), subjects[1].label.c_str(), Describe(times[1]).c_str(), runs);
  std::printf("figure: startup-ratio %.2f x (goal <= 1.5)\n", reference > 0 ? program / reference : 0.0);
  return 0;
}
