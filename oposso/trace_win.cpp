#include "trace_win.h"

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

}  // namespace

Trace::Trace() { InitializeCriticalSection(&lock_); }

Trace::~Trace() { DeleteCriticalSection(&lock_); }

void Trace::Start(const std::wstring& device, trace::Level level) {
  EnterCriticalSection(&lock_);
  file_.reset();
  failed_ = false;
  folder_ = LogFolder();
  const std::string name = kit::ToUtf8(device);
  path_ = folder_ + L"\\" + kit::FromUtf8(trace::FileName(name));
  previous_ = folder_ + L"\\" + kit::FromUtf8(trace::PreviousFileName(name));
  level_.store(folder_.empty() ? trace::kOff : level);
  LeaveCriticalSection(&lock_);
}

bool Trace::OpenFile() {
  if (file_) return true;
  if (failed_) return false;
  // The folder and its parent, made when needed.
  CreateDirectoryW(folder_.substr(0, folder_.find_last_of(L'\\')).c_str(), nullptr);
  CreateDirectoryW(folder_.c_str(), nullptr);
  // Appended to by every process that traces the device; renamed away by
  // whichever of them finds it full.
  file_.reset(CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  failed_ = !file_;
  LARGE_INTEGER size{};
  size_ = file_ && GetFileSizeEx(file_.get(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
  return !failed_;
}

void Trace::RotateIfFull() {
  // Counted as written here, so a line costs no query of the file; another
  // process's lines show when the file is opened again.
  if (size_ < trace::kRotateBytes) return;
  file_.reset();
  // Another process may have renamed it already: then the name holds a new,
  // short file, and this one only opens it again.
  WIN32_FILE_ATTRIBUTE_DATA named{};
  if (GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &named) &&
      ((static_cast<std::uint64_t>(named.nFileSizeHigh) << 32) | named.nFileSizeLow) >= trace::kRotateBytes) {
    MoveFileExW(path_.c_str(), previous_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

void Trace::Write(trace::Level at, std::string_view entry) {
  if (!On(at)) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string line = trace::Line({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                                        now.wMilliseconds},
                                       GetCurrentProcessId(), GetCurrentThreadId(), entry);
  EnterCriticalSection(&lock_);
  if (OpenFile()) {
    DWORD written = 0;
    WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    size_ += written;
    RotateIfFull();
  }
  LeaveCriticalSection(&lock_);
}

}  // namespace oposso
