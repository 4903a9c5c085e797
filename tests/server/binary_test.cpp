// runwarden-server as a program: its command line, its output, its signals.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>
#include <vector>

#include "ServerTestSupport.h"

namespace {

using namespace std::chrono_literals;

struct Child {
  pid_t pid = -1;
  int out = -1;  // stdout and stderr together
  std::string output;
};

// `fileSizeLimit`: the largest file the child may write, as a full disk would have it.
Child Start(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = RLIM_INFINITY) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> all{RUNWARDEN_SERVER_BINARY};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    dup2(pipeEnds[1], STDOUT_FILENO);
    dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  return {pid, pipeEnds[0], {}};
}

// Reads the child's output until `pattern` matches it or the time is up.
std::smatch ReadUntil(Child& child, const std::regex& pattern, std::chrono::milliseconds limit = 15s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::smatch match;
  while (!std::regex_search(child.output, match, pattern)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd entry{child.out, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[1024];
    const ssize_t got = read(child.out, buffer, sizeof buffer);
    if (got <= 0) break;
    child.output.append(buffer, static_cast<size_t>(got));
  }
  std::regex_search(child.output, match, pattern);
  return match;
}

// Whatever the child wrote before it ended.
void DrainOutput(Child& child) {
  char buffer[1024];
  pollfd entry{child.out, POLLIN, 0};
  while (poll(&entry, 1, 2000) > 0) {
    const ssize_t got = read(child.out, buffer, sizeof buffer);
    if (got <= 0) break;
    child.output.append(buffer, static_cast<size_t>(got));
  }
}

// The exit status once the child ends, or -1 after the limit (the child is then killed).
int WaitForExit(Child& child, std::chrono::milliseconds limit = 15s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
      DrainOutput(child);
      close(child.out);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(20ms);
  }
  kill(child.pid, SIGKILL);
  waitpid(child.pid, &status, 0);
  close(child.out);
  return -1;
}

int ListeningPort(Child& child) {
  const auto match = ReadUntil(child, std::regex("listening on 127\\.0\\.0\\.1:([0-9]+)"));
  return match.empty() ? -1 : std::stoi(match[1].str());
}

std::string Lookup(int port, const std::string& digest) {
  return server_test::ClientView(
      server_test::SendRaw(port, server_test::ClientGet("/~vantor/filecheck.php?md5=" + digest)).response);
}

}  // namespace

TEST(ServerBinary, StopsCleanlyOnSigtermAndSigint) {
  for (const int signal : {SIGTERM, SIGINT}) {
    server_test::TempFolder folder;
    Child child = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string()});
    const int port = ListeningPort(child);
    ASSERT_GT(port, 0) << child.output;
    EXPECT_EQ(Lookup(port, "AA"), "no record found");

    kill(child.pid, signal);
    EXPECT_EQ(WaitForExit(child), 0) << child.output;
    EXPECT_NE(child.output.find("runwarden-server stopped"), std::string::npos) << child.output;
    EXPECT_THROW(server_test::SendRaw(port, server_test::ClientGet("/")), std::runtime_error);
  }
}

TEST(ServerBinary, CreatesItsDataFolderAndKeepsVerdictsAcrossARestart) {
  server_test::TempFolder folder;
  const auto data = folder.path() / "nested" / "data";
  {
    Child child = Start({"--listen=127.0.0.1:0", "--data=" + data.string()});
    const int port = ListeningPort(child);
    ASSERT_GT(port, 0) << child.output;
    server_test::SendRaw(port, server_test::ClientGet("/~vantor/filecheck.php?md5=BEEF&file=f.exe&report=bl"));
    kill(child.pid, SIGTERM);
    ASSERT_EQ(WaitForExit(child), 0) << child.output;
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(data / "runwarden.sqlite"));
  EXPECT_TRUE(std::filesystem::is_directory(data / "updates"));

  Child child = Start({"--listen", "127.0.0.1:0", "--data", data.string()});
  const int port = ListeningPort(child);
  ASSERT_GT(port, 0) << child.output;
  const std::string reply = Lookup(port, "BEEF");
  EXPECT_TRUE(reply.starts_with("1 rating for BEEF<br>")) << reply;
  EXPECT_TRUE(reply.ends_with("|bl")) << reply;
  kill(child.pid, SIGTERM);
  EXPECT_EQ(WaitForExit(child), 0);
}

TEST(ServerBinary, HelpNamesTheDefaults) {
  Child child = Start({"--help"});
  EXPECT_EQ(WaitForExit(child), 0);
  EXPECT_NE(child.output.find("runwarden-server [--listen ADDRESS:PORT] [--data DIR]"), std::string::npos);
  EXPECT_NE(child.output.find("127.0.0.1:8080"), std::string::npos);
  EXPECT_NE(child.output.find("./runwarden-data"), std::string::npos);
}

TEST(ServerBinary, BadArgumentsAreAUsageErrorWithExitCode2) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--bogus"}, {"--listen", "nowhere"}, {"--data"}}) {
    Child child = Start(arguments);
    EXPECT_EQ(WaitForExit(child), 2) << arguments.front();
    EXPECT_NE(child.output.find("Usage: runwarden-server"), std::string::npos) << child.output;
  }
}

TEST(ServerBinary, FailsWhenItsPortIsTaken) {
  server_test::TempFolder folder;
  Child first = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string()});
  const int port = ListeningPort(first);
  ASSERT_GT(port, 0);

  Child second = Start({"--listen", "127.0.0.1:" + std::to_string(port), "--data", (folder.path() / "b").string()});
  EXPECT_EQ(WaitForExit(second), 1);
  EXPECT_NE(second.output.find("cannot listen on 127.0.0.1:" + std::to_string(port)), std::string::npos)
      << second.output;

  kill(first.pid, SIGTERM);
  EXPECT_EQ(WaitForExit(first), 0);
}

TEST(ServerBinary, RefusesToStartWhenItsDatabaseCannotBeWritten) {
  server_test::TempFolder folder;
  // A new database, and one that exists already: neither may be written.
  for (int round = 0; round < 2; ++round) {
    Child child = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string()}, 0);
    EXPECT_EQ(WaitForExit(child), 1) << child.output;
    EXPECT_NE(child.output.find("runwarden-server: cannot write the database " +
                                (folder.path() / "runwarden.sqlite").string()),
              std::string::npos)
        << child.output;
    EXPECT_EQ(child.output.find("listening"), std::string::npos) << child.output;

    std::filesystem::remove(folder.path() / "runwarden.sqlite");
    Child creator = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string()});
    ASSERT_GT(ListeningPort(creator), 0) << creator.output;
    kill(creator.pid, SIGTERM);
    ASSERT_EQ(WaitForExit(creator), 0);
  }
}

TEST(ServerBinary, SaysSoAndAnswers503WhenItsDatabaseCannotBeWrittenAnyMore) {
  server_test::TempFolder folder;
  // Room for the new database and a few votes, as on a disk that is filling up.
  Child child = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string()}, 160 * 1024);
  const int port = ListeningPort(child);
  ASSERT_GT(port, 0) << child.output;

  int accepted = 0;
  std::string refused;
  for (int i = 0; i < 200 && refused.empty(); ++i) {
    const auto exchange = server_test::SendRaw(
        port, server_test::ClientGet("/~vantor/filecheck.php?md5=BEEF&file=f.exe&report=al"),
        "127.0.2." + std::to_string(i + 1));
    const int status = server_test::StatusCode(exchange.response);
    if (status == 200) ++accepted;
    if (status != 200) refused = exchange.response;
  }
  ASSERT_GT(accepted, 0);
  EXPECT_EQ(server_test::StatusCode(refused), 503) << refused;
  EXPECT_EQ(server_test::ClientView(refused),
            "503 Service Unavailable: the database cannot be written just now, please try again later");
  // Lookups go on with what was written.
  const std::string reply = Lookup(port, "BEEF");
  EXPECT_TRUE(reply.starts_with(std::to_string(accepted) + " ratings for BEEF<br>")) << reply;

  ReadUntil(child, std::regex("database cannot be written: [^\\n]+"));
  EXPECT_NE(child.output.find("database cannot be written: "), std::string::npos) << child.output;
  kill(child.pid, SIGTERM);
  EXPECT_EQ(WaitForExit(child), 0) << child.output;
}

TEST(ServerBinary, AcknowledgedVotesOutliveAKill) {
  server_test::TempFolder folder;
  Child child = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string()});
  int port = ListeningPort(child);
  ASSERT_GT(port, 0) << child.output;
  for (int i = 0; i < 40; ++i) {
    const auto exchange = server_test::SendRaw(
        port, server_test::ClientGet("/~vantor/filecheck.php?md5=FACE&file=f.exe&report=bl"),
        "127.0.3." + std::to_string(i + 1));
    ASSERT_EQ(server_test::StatusCode(exchange.response), 200);
  }
  kill(child.pid, SIGKILL);
  WaitForExit(child);

  Child again = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string()});
  port = ListeningPort(again);
  ASSERT_GT(port, 0) << again.output;
  EXPECT_TRUE(Lookup(port, "FACE").starts_with("40 ratings for FACE<br>"));
  kill(again.pid, SIGTERM);
  EXPECT_EQ(WaitForExit(again), 0);
}

TEST(ServerBinary, RefusesToStartWithoutItsPostgresDatabase) {
  server_test::TempFolder folder;
  Child child = Start({"--listen", "127.0.0.1:0", "--data", folder.path().string(), "--database",
                       "postgresql://nobody@/nothing?host=/nonexistent-runwarden-socket"});
  EXPECT_EQ(WaitForExit(child), 1) << child.output;
  EXPECT_NE(child.output.find("runwarden-server: cannot use the PostgreSQL database: cannot connect"),
            std::string::npos)
      << child.output;
}
