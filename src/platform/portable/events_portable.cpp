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
uint32_t g_step_on_reading = 0;
uint32_t g_longest_idle = 0;

uint32_t RealTicks() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

uint32_t TickCount() {
  if (!g_manual_clock)
    return RealTicks();
  uint32_t now = g_manual_ticks;
  g_manual_ticks += g_step_on_reading;
  return now;
}

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
    g_longest_idle = std::max(g_longest_idle, milliseconds);
    g_manual_ticks += milliseconds;
    return;
  }
  portable::EventLoop::Instance().Wait(std::min(milliseconds, MillisecondsToNextTimer()));
}

void UseManualClockForTesting(bool manual) {
  if (manual && !g_manual_clock) g_manual_ticks = RealTicks();
  g_manual_clock = manual;
  g_step_on_reading = 0;
  g_longest_idle = 0;
}

void AdvanceClockForTesting(uint32_t milliseconds) { g_manual_ticks += milliseconds; }

void StepClockOnReadingForTesting(uint32_t step) {
  g_step_on_reading = step;
}

uint32_t LongestIdleForTesting() {
  return g_longest_idle;
}

}  // namespace platform
