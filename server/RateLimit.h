#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace server {

// So many actions per hour and address, with a burst of that many: an address may
// act once every hour/perHour on average, and save up to perHour of those turns.
// Zero lets everything through. Safe from several threads.
class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RateLimiter(int perHour);

  // Takes a turn for the address; false when it has none left.
  bool Allow(std::string_view address, Clock::time_point now = Clock::now());
  // Seconds until the address has a turn again.
  int SecondsUntilNext(std::string_view address, Clock::time_point now = Clock::now());

  // The most addresses remembered at once; those with all their turns saved up are
  // forgotten first.
  static constexpr std::size_t kMaxAddresses = 100000;

 private:
  void Forget(Clock::time_point now);

  int perHour_;
  Clock::duration interval_{};  // one turn's worth of time
  Clock::duration burst_{};     // how far ahead of the clock an address may run
  std::mutex mutex_;
  // When each address will have used up its turns at the average rate: a time
  // in the past means all of its turns are saved up.
  std::unordered_map<std::string, Clock::time_point> busyUntil_;
};

}  // namespace server
