#include "ptysimulator_win.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testbed {

namespace {

std::string ReadText(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

template <typename Done>
bool WaitFor(Done done, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    Sleep(20);
  }
  return true;
}

// One argument as Wine splits a command line for a Linux program.
std::wstring Quote(const std::string& arg) {
  std::wstring wide(arg.begin(), arg.end());
  if (!wide.empty() && wide.find_first_of(L" \t\"") == std::wstring::npos) return wide;
  std::wstring out = L"\"";
  for (const wchar_t c : wide) {
    if (c == L'"' || c == L'\\') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

}  // namespace

// Wine's own export: the Linux path of a Windows path, from the process heap.
using UnixNameFn = char*(CDECL*)(const wchar_t*);

std::string UnixPath(const std::wstring& windowsPath) {
  const auto fn = reinterpret_cast<UnixNameFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return {};
  char* name = fn(windowsPath.c_str());
  if (!name) return {};
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

bool MakeLinuxSymlink(const std::wstring& target, const std::wstring& link) {
  const std::string from = UnixPath(target), to = UnixPath(link);
  if (from.empty() || to.empty()) return false;
  std::wstring command = L"/bin/ln -s " + Quote(from) + L" " + Quote(to);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  return WaitFor([&] { return Exists(link); }, 10000);
}

PtySimulator::PtySimulator(const std::string& simulator, const std::string& name, int port,
                           const std::string& settings, const std::vector<std::string>& options, int timeoutSeconds)
    : port_(port) {
  wchar_t temp[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp) == 0) {
    error_ = "no temp folder";
    return;
  }
  static int counter = 0;
  dir_ = std::wstring(temp) + std::wstring(name.begin(), name.end()) + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(++counter);
  CreateDirectoryW(dir_.c_str(), nullptr);
  dir_ += L"\\";
  unixDir_ = UnixPath(dir_);
  if (unixDir_.empty()) {
    error_ = "no Linux path for the temp folder: not running under Wine?";
    return;
  }
  if (unixDir_.back() != '/') unixDir_ += '/';
  if (!Exists(L"Z:" + std::wstring(simulator.begin(), simulator.end()))) {
    error_ = "no simulator at " + simulator + " (build the native tree)";
    return;
  }
  if (!SetSettings(settings)) {
    error_ = "cannot write the control file";
    return;
  }

  std::wstring command = Quote(simulator);
  std::vector<std::string> args = {"--pty-file=" + unixDir_ + "pty", "--log=" + unixDir_ + "log",
                                   "--control=" + unixDir_ + "control", "--wine-port=COM" + std::to_string(port),
                                   "--timeout=" + std::to_string(timeoutSeconds)};
  args.insert(args.end(), options.begin(), options.end());
  for (const std::string& a : args) command += L" " + Quote(a);

  // Wine runs a Linux program that CreateProcess is given; the handle it
  // returns stands for nothing that can be waited on or killed.
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    error_ = "cannot start the simulator, error " + std::to_string(GetLastError());
    return;
  }
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  started_ = true;

  const std::wstring pty = File(L"pty");
  const std::wstring log = File(L"log");
  WaitFor([&] { return Exists(pty) || ReadText(log).find("error ") != std::string::npos; }, 10000);
  ready_ = Exists(pty);
  if (!ready_) error_ = "the simulator did not get ready; its log:\n" + ReadText(log);
}

PtySimulator::~PtySimulator() {
  if (dir_.empty()) return;
  DeleteFileW(File(L"control").c_str());
  if (started_) WaitFor([this] { return !Exists(File(L"pty")); }, 5000);
  DeleteFileW(File(L"log").c_str());
  DeleteFileW(File(L"control.new").c_str());
  RemoveDirectoryW(dir_.c_str());
}

std::wstring PtySimulator::DeviceName() const { return L"\\\\.\\COM" + std::to_wstring(port_); }

bool PtySimulator::SetSettings(const std::string& settings) {
  const std::wstring next = File(L"control.new");
  {
    std::ofstream out(std::filesystem::path(next), std::ios::binary | std::ios::trunc);
    out << settings;
    if (!out) return false;
  }
  return MoveFileExW(next.c_str(), File(L"control").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

std::string PtySimulator::Log() const { return ReadText(File(L"log")); }

std::vector<std::string> PtySimulator::LogLines(std::string_view kind) const {
  std::vector<std::string> lines;
  std::istringstream in(Log());
  for (std::string line; std::getline(in, line);) {
    if (kind.empty() || (line.compare(0, kind.size(), kind) == 0 &&
                         (line.size() == kind.size() || line[kind.size()] == ' '))) {
      lines.push_back(line);
    }
  }
  return lines;
}

std::string SimulatorPath(const char* variable, const char* fallback) {
  char value[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA(variable, value, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::string(value, n);
  return fallback;
}

std::vector<std::string> PtySimulator::WaitLogLines(std::string_view kind, std::size_t count,
                                                    int timeoutMs) const {
  std::vector<std::string> lines;
  WaitFor([&] { return (lines = LogLines(kind)).size() >= count; }, timeoutMs);
  return lines;
}

}  // namespace testbed
