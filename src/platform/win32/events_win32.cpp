#include "platform/events.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>

#include "platform/win32/form_keys.h"
#include "platform/window.h"

namespace platform {
namespace {

bool g_manual_clock = false;
uint32_t g_manual_ticks = 0;
uint32_t g_step_on_reading = 0;
uint32_t g_longest_idle = 0;

void WaitForMessage(uint32_t timeout_milliseconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr, timeout_milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace

uint32_t TickCount() {
  if (!g_manual_clock)
    return timeGetTime();
  uint32_t now = g_manual_ticks;
  g_manual_ticks += g_step_on_reading;
  return now;
}

void Sleep(uint32_t milliseconds) {
  if (g_manual_clock) {
    g_manual_ticks += milliseconds;
    return;
  }
  ::Sleep(milliseconds);
}

void DoEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (HandleFormKey(message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  FireDueTimers();
}

void WaitForEvents(uint32_t timeout_milliseconds) {
  WaitForMessage(timeout_milliseconds);
  // Any wait lets some time pass, so a loop waiting for its deadline reaches it.
  if (g_manual_clock)
    g_manual_ticks += std::max<uint32_t>(timeout_milliseconds, 1);
}

void Idle(uint32_t milliseconds) {
  if (g_manual_clock) {
    g_longest_idle = std::max(g_longest_idle, milliseconds);
    g_manual_ticks += milliseconds;
    return;
  }
  WaitForMessage(std::min(milliseconds, MillisecondsToNextTimer()));
}

void UseManualClockForTesting(bool manual) {
  if (manual && !g_manual_clock)
    g_manual_ticks = timeGetTime();
  g_manual_clock = manual;
  g_step_on_reading = 0;
  g_longest_idle = 0;
}

void AdvanceClockForTesting(uint32_t milliseconds) {
  g_manual_ticks += milliseconds;
}

void StepClockOnReadingForTesting(uint32_t step) {
  g_step_on_reading = step;
}

uint32_t LongestIdleForTesting() {
  return g_longest_idle;
}

}  // namespace platform
