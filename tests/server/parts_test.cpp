// The server's parts free of sockets: queries, forms, client addresses, rate limits and
// its command line.
#include <gtest/gtest.h>

#include "ClientAddress.h"
#include "CommandLine.h"
#include "Multipart.h"
#include "Query.h"
#include "RateLimit.h"
#include "ServerTestSupport.h"

using namespace server;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

TEST(Query, DecodesPercentEscapesOnlyAndTakesTheFirstOfRepeatedNames) {
  const std::pair<const char*, std::string> decoded[] = {{"x.exe%26report%3Dal", "x.exe&report=al"},
                                                         {"My%20Program%2fa%7Cb", "My Program/a|b"},
                                                         {"a+b.exe", "a+b.exe"},
                                                         {"%00", std::string(1, '\0')},
                                                         {"100%", "100%"},
                                                         {"%4", "%4"},
                                                         {"%zz%41", "%zzA"}};
  for (const auto& [text, plain] : decoded)
    EXPECT_EQ(PercentDecode(text), plain) << text;

  const auto params = ParseQuery("/p?md5=AB12&file=x.exe%26report%3Dbl&flag&&&md5=CD&report=al#x");
  ASSERT_EQ(params.size(), 5u);
  EXPECT_EQ(QueryValue(params, "md5"), "AB12");
  EXPECT_EQ(QueryValue(params, "file"), "x.exe&report=bl");
  EXPECT_EQ(QueryValue(params, "flag"), "");
  EXPECT_EQ(QueryValue(params, "report"), "al");
  EXPECT_FALSE(QueryValue(params, "missing"));
  EXPECT_TRUE(ParseQuery("/p").empty());
  EXPECT_TRUE(ParseQuery("/p?").empty());
}

// Our program's form (its boundary doubled, no closing line) is the handlers' test.
TEST(Multipart, FieldsOfAFormAsABrowserOrAnyoneMightSendIt) {
  const std::string disposition = "Content-Disposition: form-data;name=";
  const std::tuple<std::string, std::string, Strings> cases[] = {
      // A browser's form: a file name and type beside the name, a closing line, an epilogue.
      {"--XyZ\r\nContent-Disposition: form-data; name=\"prog\"\r\n\r\nRunwarden\r\n--XyZ\r\n"
       "content-disposition: form-data; name=\"err\"; filename=\"x.txt\"\r\nContent-Type: "
       "text/plain\r\n\r\nit broke\r\n--XyZ--\r\n" +
           disposition + "\"after\"\r\n\r\nepilogue\r\n",
       "XyZ",
       {"prog=Runwarden", "err=it broke"}},
      // Empty values stay; parts without a name or without headers do not; a bare LF ends a head.
      {"--B\r\n" + disposition +
           "\"prog\"\r\n\r\n\r\n--B\r\nContent-Type: text/html\r\n\r\n"
           "nameless\r\n--B\r\nno blank line here\r\n--B\r\n" +
           disposition + "err\r\n\nbare LF\r\n--B\r\n",
       "B",
       {"prog=", "err=bare LF"}},
      // The boundary cuts only at a line's start and whole.
      {"--B\r\n" + disposition + "\"err\"\r\n\r\nsee --B here\r\n--BB not ours\r\n--B\r\n",
       "B",
       {"err=see --B here\r\n--BB not ours"}},
      {"--B\r\n" + disposition + "\"err\"\r\n\r\ncut short", "B", {"err=cut short"}},
      {"prog=a&err=b", "B", {}},
      {server_test::ClientPostBody("p", "e"), "", {}},
      {server_test::ClientPostBody("p", "e"), "9897121216163", {}},
  };
  for (const auto& [body, boundary, expected] : cases) {
    Strings fields;
    for (const auto& field : ParseMultipart(body, boundary))
      fields.push_back(field.name + "=" + field.value);
    EXPECT_EQ(fields, expected) << body;
  }
  const std::pair<const char*, std::optional<std::string>> types[] = {
      {"multipart/form-data, boundary=98971212161631", "98971212161631"},
      {"multipart/form-data; boundary=----abc", "----abc"},
      {"Multipart/Form-Data; Boundary=\"a b\"; charset=x", "a b"},
      {"multipart/form-data; boundary=abc; charset=x", "abc"},
      {"text/plain; boundary=abc", std::nullopt},
      {"multipart/form-data", std::nullopt},
      {"multipart/form-data; boundary=", std::nullopt},
      {"", std::nullopt}};
  for (const auto& [type, boundary] : types)
    EXPECT_EQ(MultipartBoundary(type), boundary) << type;
}

TEST(ClientAddress, ThePeerOrWhatATrustedProxyWrote) {
  const Strings proxies{"127.0.0.1"};
  const std::tuple<std::string, Strings, Strings, std::string> cases[] = {
      {"127.0.0.2", {"198.51.100.7"}, proxies, "127.0.0.2"},
      {"127.0.0.2", {}, {}, "127.0.0.2"},
      {"127.0.0.1", {"198.51.100.7"}, {}, "127.0.0.1"},
      // The address the proxy wrote, not what the client made up before it.
      {"127.0.0.1", {"1.2.3.4, 198.51.100.7"}, proxies, "198.51.100.7"},
      {"127.0.0.1", {"1.2.3.4", " 198.51.100.7 "}, proxies, "198.51.100.7"},
      {"127.0.0.1", {"2001:DB8:0:0::7"}, proxies, "2001:db8::7"},
      // Nobody when the proxy names no address.
      {"127.0.0.1", {}, proxies, ""},
      {"127.0.0.1", {""}, proxies, ""},
      {"127.0.0.1", {"198.51.100.7, unknown"}, proxies, ""},
      {"127.0.0.1", {"198.51.100.7:8080"}, proxies, ""},
  };
  for (const auto& [peer, forwarded, trusted, address] : cases)
    EXPECT_EQ(ClientAddress(peer, forwarded, trusted), address) << peer << " " << forwarded.size();

  EXPECT_EQ(CanonicalAddress("::FFFF:127.0.0.1"), "::ffff:127.0.0.1");
  for (const char* bad : {"localhost", "127.0.0.1 ", ""})
    EXPECT_FALSE(CanonicalAddress(bad)) << bad;
  EXPECT_EQ(LimitKey("192.0.2.1"), "192.0.2.1");
  EXPECT_EQ(LimitKey("2001:db8:1:2:3:4:5:6"), "2001:db8:1:2::/64");
}

TEST(RateLimiter, ABurstOfTheHourlyCountThenOneEveryFewMinutesPerAddressOrSlash64) {
  RateLimiter limiter(6);  // six an hour: one more every ten minutes
  const auto start = RateLimiter::Clock::time_point() + 1000h;
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(limiter.Allow("192.0.2.1", start)) << i;
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start));
  EXPECT_EQ(limiter.SecondsUntilNext("192.0.2.1", start), 600);
  EXPECT_TRUE(limiter.Allow("192.0.2.2", start));  // another address has its own
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start + 9min));
  EXPECT_TRUE(limiter.Allow("192.0.2.1", start + 10min));
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start + 11min));
  // A quiet day fills the bucket again, but no higher than the hourly count.
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(limiter.Allow("192.0.2.1", start + 24h)) << i;
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start + 24h));

  RateLimiter two(2);
  EXPECT_TRUE(two.Allow("2001:db8:1:2::1", start));
  EXPECT_TRUE(two.Allow("2001:db8:1:2:ffff::9", start));
  EXPECT_FALSE(two.Allow("2001:db8:1:2:abcd::1", start));
  EXPECT_TRUE(two.Allow("2001:db8:1:3::1", start));

  RateLimiter none(0);
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE(none.Allow("192.0.2.1"));
  EXPECT_EQ(none.SecondsUntilNext("192.0.2.1"), 0);
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

// Everything it takes, in either spelling, and what it cannot use.
TEST(CommandLine, DefaultsOptionsAndUsageErrors) {
  auto summary = [](const Strings& arguments) {
    const auto parsed = ParseCommandLine(arguments);
    if (parsed.action != CommandLine::Action::kServe)
      return std::string(parsed.action == CommandLine::Action::kHelp ? "help" : "usage") +
             (parsed.error.empty() ? "" : ": error");
    const auto& o = parsed.options;
    std::string proxies;
    for (const auto& proxy : o.trustedProxies)
      proxies += proxy + ",";
    return o.address + ":" + std::to_string(o.port) + " " + o.dataFolder + " [" + o.database +
           "] " + proxies + " " + std::to_string(o.connectionsPerAddress) + " " +
           std::to_string(o.policy.votesPerHour) + " " + std::to_string(o.policy.reportsPerHour) +
           " " + std::to_string(o.policy.reportDays) + " " + std::to_string(o.policy.reportBytes);
  };
  const std::pair<Strings, std::string> cases[] = {
      {{}, "127.0.0.1:8080 ./runwarden-data []  16 60 20 90 268435456"},
      {{"--listen", "0.0.0.0:80", "--data", "/srv/rw", "--database", "postgresql://rw@db/runwarden",
        "--trusted-proxy", "10.0.0.1", "--trusted-proxy=2001:DB8::1", "--connections-per-address",
        "0", "--votes-per-hour=5", "--reports-per-hour", "0", "--report-days", "7",
        "--report-megabytes", "3"},
       "0.0.0.0:80 /srv/rw [postgresql://rw@db/runwarden] 10.0.0.1,2001:db8::1, 0 5 0 7 3145728"},
      {{"--data=/d", "--listen=127.0.0.2:0", "--database", "postgres://x/y"},
       "127.0.0.2:0 /d [postgres://x/y]  16 60 20 90 268435456"},
      {{"--data", "x", "-h"}, "help"},
  };
  for (const auto& [arguments, expected] : cases)
    EXPECT_EQ(summary(arguments), expected);
  for (const auto& arguments : std::vector<Strings>{
           {"--listen"},
           {"--listen", "localhost:8080"},
           {"--listen", "127.0.0.1"},
           {"--listen", "127.0.0.1:"},
           {"--listen", "127.0.0.1:65536"},
           {"--listen", "127.0.0.1:-1"},
           {"--listen", "127.0.0.1:80x"},
           {"--listen", ":80"},
           {"--data="},
           {"--port", "80"},
           {"serve"},
           {"--help=yes"},
           {"--database", "/var/lib/runwarden.sqlite"},
           {"--database", "mysql://x/y"},
           {"--trusted-proxy", "proxy.example"},
           {"--trusted-proxy", "10.0.0.1:80"},
           {"--votes-per-hour", "-1"},
           {"--reports-per-hour", "many"},
           {"--report-days", "36501"},
           {"--report-megabytes", "1.5"},
           {"--connections-per-address"},
       }) {
    EXPECT_EQ(summary(arguments), "usage: error") << arguments.front();
  }
}
