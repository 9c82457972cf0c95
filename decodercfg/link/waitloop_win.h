// The one way a transfer waits: it keeps the window events of the thread
// flowing (timers, the capture box's keys, painting) until a condition
// holds, or an event is signalled, or a time-out passes.
#pragma once

#include <windows.h>

#include <functional>

namespace q5r {

inline constexpr int kWaitForever = -1;

// Calls `done` before every pass; returns true as soon as it answers true,
// false when `timeoutMs` has passed first. Messages are dispatched through
// IsDialogMessage for the thread's dialogs, as in the main loop.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// Waits until `event` is signalled, dispatching the thread's messages as
// they come; false when `timeoutMs` passes first. It wakes for the event
// itself, so nothing is polled.
bool PumpUntilSignalled(HANDLE event, int timeoutMs);

}  // namespace q5r
