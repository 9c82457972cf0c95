// Starting, waiting for and killing the program under test.
#include "guidriver_win.h"

namespace guidriver {
namespace {

// One argument quoted the way CommandLineToArgvW and the C runtime read it back.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

// The current environment with `changes` applied, as a CreateProcessW block.
std::wstring MakeEnvironment(const Environment& changes) {
  std::vector<std::wstring> vars;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += vars.back().size() + 1) vars.emplace_back(p);
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : changes) {
    std::erase_if(vars, [&name](const std::wstring& v) {
      // Entries such as "=C:=C:\dir" start with '='; their name runs to the second '='.
      const std::size_t eq = v.find(L'=', 1);
      return eq != std::wstring::npos && SameName(std::wstring_view(v).substr(0, eq), name);
    });
    if (!value.empty()) vars.push_back(name + L"=" + value);
  }
  std::wstring out;
  for (const auto& v : vars) out += v + L'\0';
  return out + L'\0';
}

}  // namespace

Process::Process(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& workDir,
                 const Environment& env) {
  std::wstring commandLine = Quote(exe);
  for (const auto& a : args) commandLine += L" " + Quote(a);
  std::wstring dir = workDir;
  if (dir.empty()) {
    const std::size_t slash = exe.find_last_of(L"\\/");
    if (slash != std::wstring::npos) dir = exe.substr(0, slash);
  }
  std::wstring block = MakeEnvironment(env);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  start_ = std::chrono::steady_clock::now();
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, block.data(), dir.empty() ? nullptr : dir.c_str(),
                      &si, &pi)) {
    startError_ = GetLastError();
    return;
  }
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  // Everything the program starts joins its job, and the job dies with us
  // even if the test crashes. Without a job (we are in one that does not
  // nest, as on Windows 7) only the program itself can be killed.
  job_ = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job_ && !(SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
                AssignProcessToJobObject(job_, process_))) {
    CloseHandle(job_);
    job_ = nullptr;
  }
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
}

Process::~Process() {
  if (!process_) return;
  Kill();  // also when the program itself has ended but left others running
  CloseHandle(process_);
  if (job_) CloseHandle(job_);
}

bool Process::IsRunning() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

bool Process::WaitExit(int timeoutMs, DWORD* exitCode) const {
  if (!process_ || WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(process_, exitCode);
  return true;
}

void Process::Kill() {
  if (!process_) return;
  if (!job_ || !TerminateJobObject(job_, 0xDEAD)) TerminateProcess(process_, 0xDEAD);
  WaitForSingleObject(process_, 5000);
}

int Process::MillisecondsSinceStart() const {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
}

bool Poll(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(15);
  }
}

}  // namespace guidriver
