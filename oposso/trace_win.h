// The field trace of one service object: lines appended to
// %ProgramData%\PosKit\Logs\<device>.log, turned on per device by the
// "TraceLevel" value of its key (tracetext.h). Any thread may write. A
// trace that cannot be written (no folder, no rights, a full disk) is
// simply not written: it changes no result and no event, and after a
// failed open no further attempt is made until the device is opened again.
//
// Every process that traces a device appends to the same file, each
// through a handle of its own that writes only at the file's end. Each line
// is written under a mutex named after the device, with the size taken from
// the open file: a line that would take it past its bound first has the
// file's lines copied to "<device>.1.log" (replacing the older ones) and
// the file emptied. Nobody renames the file, so no process ever writes into
// one that another has moved away, and no open handle can stop a rotation.
// Close closes the file; the next line opens it again.
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

  // Traces `device` at `level` from now on (kOff: not at all). The folder
  // is made when the first line is written. `rotateBytes`: the file's
  // bound (tests use a small one).
  void Start(const std::wstring& device, trace::Level level, std::uint64_t rotateBytes = trace::kRotateBytes);
  bool On(trace::Level at) const { return level_.load(std::memory_order_relaxed) >= at; }
  // Appends one line when the trace is at `at` or above. A line that
  // cannot be made (out of memory) is dropped: tracing never throws.
  void Write(trace::Level at, std::string_view entry) noexcept;
  // Closes the file; the next line opens it again.
  void CloseFile() noexcept;
  // The same with an entry made only when the trace is on: `make()`
  // returns it, and may throw.
  template <typename Make>
  void WriteMade(trace::Level at, Make&& make) noexcept {
    if (!On(at)) return;
    try {
      Write(at, make());
    } catch (...) {
    }
  }

 private:
  // Opens the file for appending, in a folder that is what it seems;
  // lock_ held.
  bool OpenFile();
  void Append(const std::string& line);  // lock_ held
  // The file's lines to the previous file, and the file emptied; lock_ and
  // the device's mutex held.
  void Rotate();

  CRITICAL_SECTION lock_;
  std::atomic<int> level_{trace::kOff};
  std::wstring folder_, path_, previous_;
  std::uint64_t rotateBytes_ = trace::kRotateBytes;
  kit::UniqueHandle mutex_;  // the device's, shared by every process
  kit::UniqueHandle file_;   // appends only
  bool failed_ = false;
};

}  // namespace oposso
