// trace_writer DEVICE ROTATE_BYTES TAG STOP_EVENT
//
// Writes numbered lines ("TAG 0 ...", "TAG 1 ...") to DEVICE's field trace
// at level 1, its file bounded at ROTATE_BYTES, as a service object in
// another POS process would, until the named event STOP_EVENT is set. Its
// exit code is the number of lines written. For the tests of several
// processes tracing one device.
#include <windows.h>

#include <cwchar>
#include <string>

#include "text_win.h"
#include "trace_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return -1;
  HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
  if (!stop) return -1;
  oposso::Trace trace;
  trace.Start(argv[1], trace::kCalls, std::wcstoull(argv[2], nullptr, 10));
  const std::string tag = kit::ToUtf8(argv[3]);
  int lines = 0;
  while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
    trace.Write(trace::kCalls, tag + " " + std::to_string(lines++) + " GetPropertyNumber(9) -> 2 [ResultCode 0]");
  }
  CloseHandle(stop);
  return lines;
}
