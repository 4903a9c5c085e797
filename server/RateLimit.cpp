#include "RateLimit.h"

#include <algorithm>

#include "ClientAddress.h"

namespace server {

RateLimiter::RateLimiter(int perHour) : perHour_(std::max(perHour, 0)) {
  if (perHour_ == 0) return;
  interval_ = std::chrono::duration_cast<Clock::duration>(std::chrono::hours(1)) / perHour_;
  burst_ = interval_ * (perHour_ - 1);
}

void RateLimiter::Forget(Clock::time_point now) {
  std::erase_if(busyUntil_, [&](const auto& entry) { return entry.second <= now; });
}

bool RateLimiter::Allow(std::string_view address, Clock::time_point now) {
  if (perHour_ == 0) return true;
  const std::string key = LimitKey(address);
  std::lock_guard lock(mutex_);
  auto found = busyUntil_.find(key);
  if (found == busyUntil_.end()) {
    if (busyUntil_.size() >= kMaxAddresses) Forget(now);
    // Still full of addresses that are all being limited: better to let one more
    // through than to forget one of them.
    if (busyUntil_.size() >= kMaxAddresses) return true;
    found = busyUntil_.emplace(key, now).first;
  }
  const Clock::time_point from = std::max(found->second, now);
  if (from - now > burst_) return false;
  found->second = from + interval_;
  return true;
}

int RateLimiter::SecondsUntilNext(std::string_view address, Clock::time_point now) {
  if (perHour_ == 0) return 0;
  std::lock_guard lock(mutex_);
  const auto found = busyUntil_.find(LimitKey(address));
  if (found == busyUntil_.end()) return 0;
  const auto wait = found->second - now - burst_;
  if (wait <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(wait).count());
}

}  // namespace server
