// Time and the message pump. Everything runs on one thread; waiting means letting
// messages run.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds from a monotonic clock (timeGetTime on Windows); wraps like a 32-bit tick.
uint32_t TickCount();
// Sleeps without processing messages.
void Sleep(uint32_t milliseconds);
// Dispatches every message (window, socket) that is waiting and runs the form timers
// that are due, then returns.
void DoEvents();
// Blocks until a message arrives or the time is up, without dispatching it.
void WaitForEvents(uint32_t timeout_milliseconds);
// A wait loop's rest between two passes: like WaitForEvents, so a click ends it at
// once, but under the driven clock it only moves the clock on.
void Idle(uint32_t milliseconds);

// A clock that tests drive: while it is on, TickCount reads it, and Sleep and Idle
// advance it instead of sleeping. WaitForEvents still waits for a real message (a
// socket answers in real time), at most the time given, and then advances the clock
// by the whole time.
void UseManualClockForTesting(bool manual);
void AdvanceClockForTesting(uint32_t milliseconds);
// Makes every reading of the driven clock move it on by Step milliseconds afterwards, as
// time goes on between two readings on a real machine; 0 (and switching the driven clock
// on or off) stops it.
void StepClockOnReadingForTesting(uint32_t step);
// The longest rest (Idle) asked for since the driven clock was switched on. A wait for a
// deadline already past asks for nearly 50 days, which the real clock never sees end.
uint32_t LongestIdleForTesting();

}  // namespace platform
