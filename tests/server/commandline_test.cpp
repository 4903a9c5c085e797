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
       }) {
    const auto parsed = ParseCommandLine(arguments);
    EXPECT_EQ(parsed.action, CommandLine::Action::kUsageError) << arguments.front();
    EXPECT_FALSE(parsed.error.empty());
  }
}
