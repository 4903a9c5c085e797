#include <gtest/gtest.h>

#include "RateLimit.h"

using server::RateLimiter;
using namespace std::chrono_literals;

TEST(RateLimiter, ABurstOfTheHourlyCountThenOneEveryFewMinutes) {
  RateLimiter limiter(6);  // six an hour: one more every ten minutes
  const auto start = RateLimiter::Clock::time_point() + 1000h;
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(limiter.Allow("192.0.2.1", start)) << i;
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start));
  EXPECT_EQ(limiter.SecondsUntilNext("192.0.2.1", start), 600);
  EXPECT_TRUE(limiter.Allow("192.0.2.2", start));  // another address has its own

  EXPECT_FALSE(limiter.Allow("192.0.2.1", start + 9min));
  EXPECT_TRUE(limiter.Allow("192.0.2.1", start + 10min));
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start + 11min));

  // A quiet day fills the bucket again, but no higher than the hourly count.
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(limiter.Allow("192.0.2.1", start + 24h)) << i;
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start + 24h));
}

TEST(RateLimiter, AnIpv6ClientCountsByItsSlash64) {
  RateLimiter limiter(2);
  const auto now = RateLimiter::Clock::time_point() + 1000h;
  EXPECT_TRUE(limiter.Allow("2001:db8:1:2::1", now));
  EXPECT_TRUE(limiter.Allow("2001:db8:1:2:ffff::9", now));
  EXPECT_FALSE(limiter.Allow("2001:db8:1:2:abcd::1", now));
  EXPECT_TRUE(limiter.Allow("2001:db8:1:3::1", now));
}

TEST(RateLimiter, ZeroMeansNoLimit) {
  RateLimiter limiter(0);
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(limiter.Allow("192.0.2.1"));
  EXPECT_EQ(limiter.SecondsUntilNext("192.0.2.1"), 0);
}

TEST(RateLimiter, ForgetsOnlyAddressesWhoseBucketIsFullAgain) {
  RateLimiter limiter(1);
  const auto start = RateLimiter::Clock::time_point() + 1000h;
  ASSERT_TRUE(limiter.Allow("10.0.0.0", start));
  for (size_t i = 1; i < RateLimiter::kMaxAddresses; ++i) {
    limiter.Allow("10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                      std::to_string(i % 256),
                  start + 2h);
  }
  // The table is full. A new address makes room by forgetting the first one, whose
  // bucket is full again; the others are half-way and must stay limited.
  EXPECT_TRUE(limiter.Allow("172.16.0.1", start + 2h + 30min));
  EXPECT_FALSE(limiter.Allow("10.0.0.1", start + 2h + 30min));
  EXPECT_FALSE(limiter.Allow("10.1.134.159", start + 2h + 30min));
}
