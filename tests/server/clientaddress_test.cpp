#include <gtest/gtest.h>

#include "ClientAddress.h"

using server::CanonicalAddress;
using server::ClientAddress;
using server::LimitKey;

TEST(ClientAddress, ThePeerUnlessItIsATrustedProxy) {
  const std::vector<std::string> proxies{"127.0.0.1"};
  EXPECT_EQ(ClientAddress("127.0.0.2", {"198.51.100.7"}, proxies), "127.0.0.2");
  EXPECT_EQ(ClientAddress("127.0.0.2", {}, {}), "127.0.0.2");
  EXPECT_EQ(ClientAddress("127.0.0.1", {"198.51.100.7"}, {}), "127.0.0.1");
  EXPECT_EQ(ClientAddress("127.0.0.1", {"198.51.100.7"}, proxies), "198.51.100.7");
}

TEST(ClientAddress, TheAddressTheProxyWroteNotWhatTheClientMadeUp) {
  const std::vector<std::string> proxies{"10.0.0.1"};
  EXPECT_EQ(ClientAddress("10.0.0.1", {"1.2.3.4, 198.51.100.7"}, proxies), "198.51.100.7");
  EXPECT_EQ(ClientAddress("10.0.0.1", {"1.2.3.4", " 198.51.100.7 "}, proxies), "198.51.100.7");
  EXPECT_EQ(ClientAddress("10.0.0.1", {"2001:DB8:0:0::7"}, proxies), "2001:db8::7");
}

TEST(ClientAddress, NobodyWhenTheProxyNamesNoAddress) {
  const std::vector<std::string> proxies{"10.0.0.1"};
  EXPECT_EQ(ClientAddress("10.0.0.1", {}, proxies), "");
  EXPECT_EQ(ClientAddress("10.0.0.1", {""}, proxies), "");
  EXPECT_EQ(ClientAddress("10.0.0.1", {"198.51.100.7, unknown"}, proxies), "");
  EXPECT_EQ(ClientAddress("10.0.0.1", {"198.51.100.7:8080"}, proxies), "");
}

TEST(ClientAddress, CanonicalTextAndLimitKeys) {
  EXPECT_EQ(CanonicalAddress("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(CanonicalAddress("::FFFF:127.0.0.1"), "::ffff:127.0.0.1");
  EXPECT_FALSE(CanonicalAddress("localhost"));
  EXPECT_FALSE(CanonicalAddress("127.0.0.1 "));
  EXPECT_FALSE(CanonicalAddress(""));

  EXPECT_EQ(LimitKey("192.0.2.1"), "192.0.2.1");
  EXPECT_EQ(LimitKey("2001:db8:1:2:3:4:5:6"), "2001:db8:1:2::/64");
  EXPECT_EQ(LimitKey("2001:db8:1:2::9"), LimitKey("2001:db8:1:2:ffff::1"));
}
