// runwarden-server as a program: its command line, its output, its signals.
#include <signal.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "ServerTestSupport.h"

using server_test::ChildProcess;
using server_test::SendRaw;
using server_test::StatusCode;

namespace {

ChildProcess Server(std::vector<std::string> arguments, long long fileSizeLimit = -1) {
  arguments.insert(arguments.begin(), RUNWARDEN_SERVER_BINARY);
  return ChildProcess(std::move(arguments), fileSizeLimit);
}

std::string Lookup(int port, const std::string& digest) {
  return server_test::ClientView(
      SendRaw(port, BuildGetRequest("/~vantor/filecheck.php?md5=" + digest)).response);
}

std::string Vote(const std::string& digest, const std::string& verdict) {
  return BuildGetRequest("/~vantor/filecheck.php?md5=" + digest + "&file=f.exe&report=" + verdict);
}

}  // namespace

TEST(ServerBinary, StopsCleanlyOnSigtermAndSigint) {
  for (const int signal : {SIGTERM, SIGINT}) {
    server_test::TempFolder folder;
    ChildProcess child = Server({"--listen", "127.0.0.1:0", "--data", folder.path().string()});
    const int port = child.ListeningPort();
    ASSERT_GT(port, 0) << child.output();
    EXPECT_EQ(Lookup(port, "AA"), "no record found");

    child.Signal(signal);
    EXPECT_EQ(child.Wait(), 0) << child.output();
    EXPECT_NE(child.output().find("runwarden-server stopped"), std::string::npos) << child.output();
    EXPECT_THROW(SendRaw(port, BuildGetRequest("/")), std::runtime_error);
  }
}

TEST(ServerBinary, CreatesItsDataFolderAndAcknowledgedVotesOutliveAKill) {
  server_test::TempFolder folder;
  const auto data = folder.path() / "nested" / "data";
  {
    ChildProcess child = Server({"--listen=127.0.0.1:0", "--data=" + data.string()});
    const int port = child.ListeningPort();
    ASSERT_GT(port, 0) << child.output();
    for (int i = 0; i < 40; ++i) {
      const auto from = "127.0.3." + std::to_string(i + 1);
      ASSERT_EQ(StatusCode(SendRaw(port, Vote("FACE", "bl"), from).response), 200);
    }
  }  // killed
  EXPECT_TRUE(std::filesystem::is_regular_file(data / "runwarden.sqlite"));
  EXPECT_TRUE(std::filesystem::is_directory(data / "updates"));

  ChildProcess again = Server({"--listen", "127.0.0.1:0", "--data", data.string()});
  const int port = again.ListeningPort();
  ASSERT_GT(port, 0) << again.output();
  EXPECT_TRUE(Lookup(port, "FACE").starts_with("40 ratings for FACE<br>"));
}

TEST(ServerBinary, HelpNamesTheDefaultsAndBadArgumentsAreAUsageError) {
  const std::string usage = "Usage: runwarden-server";
  const std::tuple<std::vector<std::string>, int, std::vector<std::string>> cases[] = {
      {{"--help"},
       0,
       {"runwarden-server [--listen ADDRESS:PORT] [--data DIR]", "127.0.0.1:8080",
        "./runwarden-data"}},
      {{"--bogus"}, 2, {usage}},
      {{"--listen", "nowhere"}, 2, {usage}},
      {{"--data"}, 2, {usage}},
  };
  for (const auto& [arguments, status, texts] : cases) {
    ChildProcess child = Server(arguments);
    EXPECT_EQ(child.Wait(), status) << arguments.front();
    for (const auto& text : texts)
      EXPECT_NE(child.output().find(text), std::string::npos) << child.output();
  }
}

// A taken port, a database it cannot write (new or there already), a PostgreSQL database
// it cannot reach: it says so and ends without listening.
TEST(ServerBinary, RefusesToStartWhereItCannotServe) {
  server_test::TempFolder folder;
  const std::string data = folder.path().string();
  ChildProcess first = Server({"--listen", "127.0.0.1:0", "--data", data + "/first"});
  const std::string port = std::to_string(first.ListeningPort());
  ASSERT_NE(port, "-1") << first.output();
  ChildProcess taken = Server({"--listen", "127.0.0.1:" + port, "--data", data + "/second"});
  EXPECT_EQ(taken.Wait(), 1);
  EXPECT_NE(taken.output().find("cannot listen on 127.0.0.1:" + port), std::string::npos)
      << taken.output();
  first.Signal(SIGTERM);
  ASSERT_EQ(first.Wait(), 0);

  const std::string cannotWrite = "runwarden-server: cannot write the database ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--data", data + "/new"}, cannotWrite + data + "/new/runwarden.sqlite"},
      {{"--data", data + "/first"}, cannotWrite + data + "/first/runwarden.sqlite"},
      {{"--data", data, "--database",
        "postgresql://nobody@/nothing?host=/nonexistent-runwarden-socket"},
       "runwarden-server: cannot use the PostgreSQL database: cannot connect"},
  };
  for (const auto& [arguments, message] : cases) {
    std::vector<std::string> all{"--listen", "127.0.0.1:0"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    ChildProcess child = Server(all, 0);
    EXPECT_EQ(child.Wait(), 1) << child.output();
    EXPECT_NE(child.output().find(message), std::string::npos) << child.output();
    EXPECT_EQ(child.output().find("listening"), std::string::npos) << child.output();
  }
}

TEST(ServerBinary, SaysSoAndAnswers503WhenItsDatabaseCannotBeWrittenAnyMore) {
  server_test::TempFolder folder;
  // Room for the new database and a few votes, as on a disk that is filling up.
  ChildProcess child =
      Server({"--listen", "127.0.0.1:0", "--data", folder.path().string()}, 160 * 1024);
  const int port = child.ListeningPort();
  ASSERT_GT(port, 0) << child.output();

  int accepted = 0;
  std::string refused;
  for (int i = 0; i < 200 && refused.empty(); ++i) {
    const auto exchange = SendRaw(port, Vote("BEEF", "al"), "127.0.2." + std::to_string(i + 1));
    if (StatusCode(exchange.response) == 200) {
      ++accepted;
    } else {
      refused = exchange.response;
    }
  }
  ASSERT_GT(accepted, 0);
  EXPECT_EQ(StatusCode(refused), 503) << refused;
  EXPECT_EQ(
      server_test::ClientView(refused),
      "503 Service Unavailable: the database cannot be written just now, please try again later");
  // Lookups go on with what was written.
  const std::string reply = Lookup(port, "BEEF");
  EXPECT_TRUE(reply.starts_with(std::to_string(accepted) + " ratings for BEEF<br>")) << reply;

  EXPECT_NE(child.WaitForOutput("database cannot be written: [^\\n]+"), "") << child.output();
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0) << child.output();
}
