#include "trace_win.h"

#include <sddl.h>

#include "text_win.h"

namespace oposso {

namespace {

// %ProgramData%\PosKit\Logs (%ALLUSERSPROFILE% where there is no ProgramData).
std::wstring LogFolder() {
  for (const wchar_t* variable : {L"%ProgramData%", L"%ALLUSERSPROFILE%"}) {
    wchar_t expanded[MAX_PATH];
    const DWORD n = ExpandEnvironmentStringsW(variable, expanded, MAX_PATH);
    if (n > 0 && n <= MAX_PATH && expanded[0] != L'%') return std::wstring(expanded) + L"\\PosKit\\Logs";
  }
  return {};
}

// The device's mutex, one for every process and session on the machine;
// anyone who may write the trace may wait on it.
kit::UniqueHandle DeviceMutex(const std::string& fileName) {
  const std::wstring name = L"Global\\PosKit.Trace." + kit::FromUtf8(fileName);
  PSECURITY_DESCRIPTOR sd = nullptr;
  // Everyone: SYNCHRONIZE | MUTEX_MODIFY_STATE.
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100001;;;WD)", SDDL_REVISION_1, &sd,
                                                            nullptr)) {
    sd = nullptr;
  }
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  kit::UniqueHandle mutex(CreateMutexW(sd ? &sa : nullptr, FALSE, name.c_str()));
  if (!mutex) mutex.reset(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
  LocalFree(sd);
  return mutex;
}

// A folder the trace may write into: there, a directory, and no reparse
// point (a junction or link somebody put in its place would lead a POS
// application's writes wherever that somebody chose).
bool PlainFolder(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Opens a trace file of the folder, made when missing; nothing when a link
// stands in its place (a file with a second name, or a reparse point).
kit::UniqueHandle OpenTraceFile(const std::wstring& path, DWORD access) {
  kit::UniqueHandle file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) || info.nNumberOfLinks > 1) {
    return {};
  }
  return file;
}

}  // namespace

Trace::Trace() { InitializeCriticalSection(&lock_); }

Trace::~Trace() { DeleteCriticalSection(&lock_); }

void Trace::Start(const std::wstring& device, trace::Level level, std::uint64_t rotateBytes) {
  EnterCriticalSection(&lock_);
  file_.reset();
  failed_ = false;
  folder_ = LogFolder();
  rotateBytes_ = rotateBytes;
  const std::string name = kit::ToUtf8(device);
  path_ = folder_ + L"\\" + kit::FromUtf8(trace::FileName(name));
  previous_ = folder_ + L"\\" + kit::FromUtf8(trace::PreviousFileName(name));
  mutex_.reset();
  if (!folder_.empty() && level != trace::kOff) mutex_ = DeviceMutex(trace::FileName(name));
  level_.store(folder_.empty() ? trace::kOff : level);
  LeaveCriticalSection(&lock_);
}

void Trace::CloseFile() noexcept {
  EnterCriticalSection(&lock_);
  file_.reset();
  LeaveCriticalSection(&lock_);
}

bool Trace::OpenFile() {
  // The folder and its parent, made when needed.
  const std::wstring parent = folder_.substr(0, folder_.find_last_of(L'\\'));
  for (const std::wstring& folder : {parent, folder_}) {
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!PlainFolder(folder)) return false;
  }
  // Writes through this handle go to the file's end, wherever other
  // processes have taken it meanwhile.
  file_ = OpenTraceFile(path_, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES);
  return static_cast<bool>(file_);
}

void Trace::Rotate() {
  kit::UniqueHandle from(CreateFileW(path_.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  kit::UniqueHandle to = OpenTraceFile(previous_, GENERIC_WRITE);
  if (from && to && SetEndOfFile(to.get())) {
    char buffer[65536];
    DWORD got = 0, put = 0;
    while (ReadFile(from.get(), buffer, sizeof buffer, &got, nullptr) && got > 0 &&
           WriteFile(to.get(), buffer, got, &put, nullptr) && put == got) {
    }
  }
  // Emptied even when the copy failed: the bound holds whatever happens.
  kit::UniqueHandle empty = OpenTraceFile(path_, GENERIC_WRITE);
  if (empty) SetEndOfFile(empty.get());
}

void Trace::Append(const std::string& line) {
  if (failed_) return;
  if (!file_ && !OpenFile()) {
    failed_ = true;
    return;
  }
  // Held by another writer for one line at most; one that died holding it
  // has left it to us (WAIT_ABANDONED).
  const DWORD wait = mutex_ ? WaitForSingleObject(mutex_.get(), 5000) : WAIT_OBJECT_0;
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return;
  struct Owned {
    HANDLE mutex;
    ~Owned() {
      if (mutex) ReleaseMutex(mutex);
    }
  } owned{mutex_.get()};
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file_.get(), &size) && size.QuadPart > 0 &&
      static_cast<std::uint64_t>(size.QuadPart) + line.size() > rotateBytes_) {
    Rotate();
  }
  DWORD written = 0;
  WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Trace::Write(trace::Level at, std::string_view entry) noexcept {
  if (!On(at)) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  struct Locked {
    CRITICAL_SECTION& cs;
    explicit Locked(CRITICAL_SECTION& c) : cs(c) { EnterCriticalSection(&cs); }
    ~Locked() { LeaveCriticalSection(&cs); }
  };
  try {
    const std::string line = trace::Line({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                                          now.wMilliseconds},
                                         GetCurrentProcessId(), GetCurrentThreadId(), entry);
    Locked locked(lock_);
    Append(line);
  } catch (...) {
    // Out of memory: the line is dropped.
  }
}

}  // namespace oposso
