#include "platform/events.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/portable/event_loop.h"
#include "platform/window.h"

namespace platform {
namespace {

bool g_manual_clock = false;
uint32_t g_manual_ticks = 0;

uint32_t RealTicks() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

uint32_t TickCount() { return g_manual_clock ? g_manual_ticks : RealTicks(); }

void Sleep(uint32_t milliseconds) {
  if (g_manual_clock) {
    g_manual_ticks += milliseconds;
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void DoEvents() {
  portable::EventLoop::Instance().DispatchPending();
  FireDueTimers();
}

void WaitForEvents(uint32_t timeout_milliseconds) {
  portable::EventLoop::Instance().Wait(timeout_milliseconds);
  // Any wait lets some time pass, so a loop waiting for its deadline reaches it.
  if (g_manual_clock) g_manual_ticks += std::max<uint32_t>(timeout_milliseconds, 1);
}

void Idle(uint32_t milliseconds) {
  if (g_manual_clock) {
    g_manual_ticks += milliseconds;
    return;
  }
  portable::EventLoop::Instance().Wait(std::min(milliseconds, MillisecondsToNextTimer()));
}

void UseManualClockForTesting(bool manual) {
  if (manual && !g_manual_clock) g_manual_ticks = RealTicks();
  g_manual_clock = manual;
}

void AdvanceClockForTesting(uint32_t milliseconds) { g_manual_ticks += milliseconds; }

}  // namespace platform
