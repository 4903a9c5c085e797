// runwarden-server as a program: its command line, its output, its signals.
#include <signal.h>
#include <gtest/gtest.h>

#include <regex>
#include <tuple>
#include <vector>

#include "ServerTestSupport.h"

using server_test::SendRaw;
using server_test::StatusCode;

namespace {

server_test::ChildProcess Server(std::vector<std::string> arguments, long long fileSizeLimit = -1) {
  arguments.insert(arguments.begin(), RUNWARDEN_SERVER_BINARY);
  return server_test::ChildProcess(std::move(arguments), fileSizeLimit);
}

std::string Lookup(int port, const std::string& digest) {
  return server_test::ClientView(
      SendRaw(port, BuildGetRequest("/~vantor/filecheck.php?md5=" + digest)).response);
}

std::string Vote(const std::string& digest) {
  return BuildGetRequest("/~vantor/filecheck.php?md5=" + digest + "&file=f.exe&report=bl");
}

}  // namespace

// It makes its data folder; what it acknowledged outlives a kill; it stops cleanly on
// SIGTERM and on SIGINT.
TEST(ServerBinary, KeepsAcknowledgedVotesAndStopsCleanlyOnSigtermAndSigint) {
  server_test::TempFolder folder;
  const auto data = folder.path() / "nested" / "data";
  {
    auto child = Server({"--listen=127.0.0.1:0", "--data=" + data.string()});
    const int port = child.ListeningPort();
    ASSERT_GT(port, 0) << child.output();
    for (int i = 1; i <= 40; ++i)
      ASSERT_EQ(StatusCode(SendRaw(port, Vote("FACE"), "127.0.3." + std::to_string(i)).response),
                200);
  }  // killed
  EXPECT_TRUE(std::filesystem::is_directory(data / "updates"));
  for (const int signal : {SIGTERM, SIGINT}) {
    auto again = Server({"--listen", "127.0.0.1:0", "--data", data.string()});
    const int port = again.ListeningPort();
    ASSERT_GT(port, 0) << again.output();
    EXPECT_TRUE(Lookup(port, "FACE").starts_with("40 ratings for FACE<br>"));
    again.Signal(signal);
    EXPECT_EQ(again.Wait(), 0) << again.output();
    EXPECT_NE(again.output().find("runwarden-server stopped"), std::string::npos);
    EXPECT_THROW(SendRaw(port, BuildGetRequest("/")), std::runtime_error);
  }
}

// Help, bad arguments, a taken port, a database it cannot write (new or there already), a
// PostgreSQL database it cannot reach: it says so and ends without listening.
TEST(ServerBinary, HelpUsageErrorsAndRefusalsToStart) {
  server_test::TempFolder folder;
  const std::string data = folder.path().string();
  auto first = Server({"--listen", "127.0.0.1:0", "--data", data + "/first"});
  const std::string port = std::to_string(first.ListeningPort());
  ASSERT_NE(port, "-1") << first.output();
  std::filesystem::create_directories(data + "/old");
  server::SqliteStore(data + "/old/runwarden.sqlite");  // a database there already
  const std::string usage = "Usage: runwarden-server", cannotWrite = "cannot write the database ";
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"--help"},
       0,
       "\\[--listen ADDRESS:PORT\\] \\[--data DIR\\][\\s\\S]*127\\.0\\.0\\.1:8080[\\s\\S]*"
       "\\./runwarden-data"},
      {{"--bogus"}, 2, usage},  // what it cannot parse is the command line's test
      {{"--listen", "127.0.0.1:" + port, "--data", data + "/second"},
       1,
       "cannot listen on 127\\.0\\.0\\.1:" + port},
      {{"--data", data + "/new"}, 1, cannotWrite + data + "/new/runwarden\\.sqlite"},
      {{"--data", data + "/old"}, 1, cannotWrite + data + "/old/runwarden\\.sqlite"},
      {{"--database", "postgresql://nobody@/nothing?host=/nonexistent-runwarden-socket"},
       1,
       "runwarden-server: cannot use the PostgreSQL database: cannot connect"},
  };
  for (const auto& [arguments, status, message] : cases) {
    // A server that would start writes nothing.
    const bool refusal = status == 1 && arguments.front() != "--listen";
    std::vector<std::string> all = arguments;
    if (refusal)
      all.insert(all.begin(), {"--listen", "127.0.0.1:0"});
    auto child = Server(all, refusal ? 0 : -1);
    EXPECT_EQ(child.Wait(), status) << arguments.front();
    EXPECT_TRUE(std::regex_search(child.output(), std::regex(message))) << child.output();
    EXPECT_EQ(child.output().find("listening"), std::string::npos) << child.output();
  }
}

TEST(ServerBinary, SaysSoAndAnswers503WhenItsDatabaseCannotBeWrittenAnyMore) {
  server_test::TempFolder folder;
  // Room for the new database and a few votes.
  auto child = Server({"--listen", "127.0.0.1:0", "--data", folder.path().string()}, 160 * 1024);
  const int port = child.ListeningPort();
  ASSERT_GT(port, 0) << child.output();
  int accepted = 0;
  std::string refused;
  for (int i = 1; i <= 200 && refused.empty(); ++i) {
    const auto exchange = SendRaw(port, Vote("BEEF"), "127.0.2." + std::to_string(i));
    if (StatusCode(exchange.response) == 200)
      ++accepted;
    else
      refused = exchange.response;
  }
  ASSERT_GT(accepted, 0);
  EXPECT_EQ(
      server_test::ClientView(refused),
      "503 Service Unavailable: the database cannot be written just now, please try again later");
  // Lookups go on with what was written.
  EXPECT_TRUE(Lookup(port, "BEEF").starts_with(std::to_string(accepted) + " ratings for BEEF<br>"));
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0) << child.output();
  EXPECT_TRUE(std::regex_search(child.output(), std::regex("database cannot be written: .+")))
      << child.output();
}
