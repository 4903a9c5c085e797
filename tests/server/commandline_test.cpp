#include <gtest/gtest.h>

#include "CommandLine.h"

using server::CommandLine;
using server::ParseCommandLine;

TEST(CommandLine, DefaultsToLoopbackPort8080AndALocalDataFolder) {
  const auto parsed = ParseCommandLine({});
  EXPECT_EQ(parsed.action, CommandLine::Action::kServe);
  EXPECT_EQ(parsed.options.address, "127.0.0.1");
  EXPECT_EQ(parsed.options.port, 8080);
  EXPECT_EQ(parsed.options.dataFolder, "./runwarden-data");
  EXPECT_EQ(parsed.options.database, "");
  EXPECT_TRUE(parsed.options.trustedProxies.empty());
  EXPECT_EQ(parsed.options.connectionsPerAddress, 16u);
  EXPECT_EQ(parsed.options.policy.votesPerHour, 60);
  EXPECT_EQ(parsed.options.policy.reportsPerHour, 20);
  EXPECT_EQ(parsed.options.policy.reportDays, 90);
  EXPECT_EQ(parsed.options.policy.reportBytes, 256 * 1024 * 1024);
}

TEST(CommandLine, TakesTheDatabaseTheProxiesAndTheLimits) {
  const auto parsed = ParseCommandLine({"--database", "postgresql://rw@db/runwarden", "--trusted-proxy", "10.0.0.1",
                                        "--trusted-proxy=2001:DB8::1", "--connections-per-address", "0",
                                        "--votes-per-hour=5", "--reports-per-hour", "0", "--report-days", "7",
                                        "--report-megabytes", "3"});
  ASSERT_EQ(parsed.action, CommandLine::Action::kServe) << parsed.error;
  EXPECT_EQ(parsed.options.database, "postgresql://rw@db/runwarden");
  EXPECT_EQ(parsed.options.trustedProxies, (std::vector<std::string>{"10.0.0.1", "2001:db8::1"}));
  EXPECT_EQ(parsed.options.connectionsPerAddress, 0u);
  EXPECT_EQ(parsed.options.policy.votesPerHour, 5);
  EXPECT_EQ(parsed.options.policy.reportsPerHour, 0);
  EXPECT_EQ(parsed.options.policy.reportDays, 7);
  EXPECT_EQ(parsed.options.policy.reportBytes, 3 * 1024 * 1024);
  EXPECT_EQ(ParseCommandLine({"--database", "postgres://x/y"}).options.database, "postgres://x/y");
}

TEST(CommandLine, TakesListenAndDataInEitherSpelling) {
  auto parsed = ParseCommandLine({"--listen", "0.0.0.0:80", "--data", "/srv/rw"});
  EXPECT_EQ(parsed.action, CommandLine::Action::kServe);
  EXPECT_EQ(parsed.options.address, "0.0.0.0");
  EXPECT_EQ(parsed.options.port, 80);
  EXPECT_EQ(parsed.options.dataFolder, "/srv/rw");

  parsed = ParseCommandLine({"--data=/d", "--listen=127.0.0.2:0"});
  EXPECT_EQ(parsed.action, CommandLine::Action::kServe);
  EXPECT_EQ(parsed.options.address, "127.0.0.2");
  EXPECT_EQ(parsed.options.port, 0);
  EXPECT_EQ(parsed.options.dataFolder, "/d");
}

TEST(CommandLine, HelpWins) {
  EXPECT_EQ(ParseCommandLine({"--help"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--data", "x", "-h"}).action, CommandLine::Action::kHelp);
}

TEST(CommandLine, RejectsWhatItCannotUse) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--listen"},
           {"--listen", "localhost:8080"},
           {"--listen", "127.0.0.1"},
           {"--listen", "127.0.0.1:"},
           {"--listen", "127.0.0.1:65536"},
           {"--listen", "127.0.0.1:-1"},
           {"--listen", "127.0.0.1:80x"},
           {"--listen", ":80"},
           {"--data"},
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
    const auto parsed = ParseCommandLine(arguments);
    EXPECT_EQ(parsed.action, CommandLine::Action::kUsageError) << arguments.front();
    EXPECT_FALSE(parsed.error.empty());
  }
}
