// trace_writer DEVICE ROTATE_BYTES TAG LINES START_EVENT
//
// Once the named event START_EVENT is set, writes LINES numbered lines
// ("TAG 0 ...", "TAG 1 ...") to DEVICE's field trace at level 1, its file
// bounded at ROTATE_BYTES, as a service object in another POS process
// would. Its exit code is the number of lines written. For the tests of
// several processes tracing one device: a fixed count, so that a slow
// machine makes the test longer, not weaker.
#include <windows.h>

#include <cwchar>
#include <string>

#include "text_win.h"
#include "trace_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) return -1;
  HANDLE start = OpenEventW(SYNCHRONIZE, FALSE, argv[5]);
  if (!start) return -1;
  const int count = static_cast<int>(std::wcstol(argv[4], nullptr, 10));
  oposso::Trace trace;
  trace.Start(argv[1], trace::kCalls, std::wcstoull(argv[2], nullptr, 10));
  const std::string tag = kit::ToUtf8(argv[3]);
  int lines = 0;
  if (WaitForSingleObject(start, 60000) != WAIT_OBJECT_0) return -1;
  while (lines < count) {
    trace.Write(trace::kCalls, tag + " " + std::to_string(lines++) + " GetPropertyNumber(9) -> 2 [ResultCode 0]");
  }
  CloseHandle(start);
  return lines;
}
