// The time marks linkmarks.dll takes inside a hooked program, shared with
// link_bench through a named mapping. Values are QueryPerformanceCounter
// ticks, 0 until the first mark; each field holds the latest mark.
#pragma once

#include <windows.h>

namespace linkmarks {

inline constexpr wchar_t kMappingName[] = L"Local\\KitLinkBenchMarks";

struct Marks {
  volatile LONGLONG click;      // a posted button press taken from the queue
  volatile LONGLONG created;    // a dialog (message box) being created
  volatile LONGLONG activated;  // a dialog being activated: on screen
  volatile LONGLONG destroyed;  // a dialog being destroyed: a question answered
};

}  // namespace linkmarks
