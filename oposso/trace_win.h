// The field trace of one service object: lines appended to
// %ProgramData%\PosKit\Logs\<device>.log, turned on per device by the
// "TraceLevel" value of its key (tracetext.h). Any thread may write. A
// trace that cannot be written (no folder, no rights, a full disk) is
// simply not written: it changes no result and no event, and after a
// failed open no further attempt is made until the device is opened again.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>

#include "handle_win.h"
#include "tracetext.h"

namespace oposso {

class Trace {
 public:
  Trace();
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  // Traces `device` at `level` from now on (kOff: not at all). The file is
  // opened, and its folder made, when the first line is written.
  void Start(const std::wstring& device, trace::Level level);
  bool On(trace::Level at) const { return level_.load(std::memory_order_relaxed) >= at; }
  // Appends one line when the trace is at `at` or above.
  void Write(trace::Level at, std::string_view entry);

 private:
  bool OpenFile();  // lock_ held
  void RotateIfFull();  // lock_ held

  CRITICAL_SECTION lock_;
  std::atomic<int> level_{trace::kOff};
  std::wstring folder_, path_, previous_;
  kit::UniqueHandle file_;
  std::uint64_t size_ = 0;  // of the file as this object wrote it
  bool failed_ = false;
};

}  // namespace oposso
