#include "platform/events.h"

#include <windows.h>
#include <mmsystem.h>

namespace platform {
namespace {

bool g_manual_clock = false;
uint32_t g_manual_ticks = 0;

}  // namespace

uint32_t TickCount() { return g_manual_clock ? g_manual_ticks : timeGetTime(); }

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
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void WaitForEvents(uint32_t timeout_milliseconds) {
  if (g_manual_clock) {
    g_manual_ticks += timeout_milliseconds;
    return;
  }
  MsgWaitForMultipleObjectsEx(0, nullptr, timeout_milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void UseManualClockForTesting(bool manual) {
  if (manual && !g_manual_clock) g_manual_ticks = timeGetTime();
  g_manual_clock = manual;
}

void AdvanceClockForTesting(uint32_t milliseconds) { g_manual_ticks += milliseconds; }

}  // namespace platform
