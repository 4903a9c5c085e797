// Time and the message pump. Everything runs on one thread; waiting means letting
// messages run.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds from a monotonic clock (timeGetTime on Windows); wraps like a 32-bit tick.
uint32_t TickCount();
// Sleeps without processing messages.
void Sleep(uint32_t milliseconds);
// Dispatches every message (window, timer, socket) that is waiting, then returns.
void DoEvents();
// Blocks until a message arrives or the time is up, without dispatching it.
void WaitForEvents(uint32_t timeout_milliseconds);

// A clock that tests drive: while it is on, Sleep and waits advance it instead of
// sleeping, and TickCount reads it.
void UseManualClockForTesting(bool manual);
void AdvanceClockForTesting(uint32_t milliseconds);

}  // namespace platform
