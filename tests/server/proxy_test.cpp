// The deployment of deploy/: nginx in front of two servers on one PostgreSQL database,
// started by tests/server/with_deployment.sh. Clients vote through nginx from two
// addresses; both servers must then answer the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ServerTestSupport.h"

using server_test::ClientView;
using server_test::SendRaw;
using server_test::StatusCode;

namespace {

class ProxyDeployment : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("RUNWARDEN_TEST_PROXY"))
      GTEST_SKIP() << "no deployment given";
    // "127.0.0.1:PORT" each: nginx, then the two servers; then the servers' logs.
    std::istringstream ports(std::string(std::getenv("RUNWARDEN_TEST_PROXY")) + " " +
                             std::getenv("RUNWARDEN_TEST_SERVERS"));
    for (std::string address; ports >> address;)
      ports_.push_back(std::stoi(address.substr(10)));
    std::istringstream logs(std::getenv("RUNWARDEN_TEST_SERVER_LOGS"));
    for (std::string log; logs >> log;)
      logs_.push_back(log);
    ASSERT_EQ(ports_.size(), 3u);
    ASSERT_EQ(logs_.size(), 2u);
    digest_ = server_test::RandomDigest();
  }

  server_test::Exchange Ask(int port,
                            const std::string& query,
                            const std::string& from,
                            const std::string& header = "") {
    std::string request = BuildGetRequest("/~vantor/filecheck.php?md5=" + digest_ + query);
    request.insert(request.size() - 2, header);
    return SendRaw(port, request, from);
  }
  int Vote(int port,
           const std::string& file,
           const std::string& from,
           const std::string& xff = "") {
    const std::string header = xff.empty() ? "" : "X-Forwarded-For: " + xff + "\r\n";
    return StatusCode(
        Ask(port, "&file=" + file + "&report=" + file.substr(0, 2), from, header).response);
  }
  std::string Lookup(int port) {
    const auto exchange = Ask(port, "", "127.0.0.3");
    EXPECT_TRUE(exchange.closedByServer);
    EXPECT_EQ(StatusCode(exchange.response), 200) << exchange.response;
    return ClientView(exchange.response);
  }

  std::vector<int> ports_;  // nginx, a server, the other
  std::vector<std::string> logs_;
  std::string digest_;
};

}  // namespace

// Through nginx, from two addresses: both servers count the votes under the clients' own
// addresses, whatever header a client sends; nginx takes turns and serves no byte range (a
// single one: nginx leaves a proxied reply whole for several by itself).
TEST_F(ProxyDeployment, BothServersCountTheVotesCastThroughTheProxyUnderTheClientsAddresses) {
  EXPECT_EQ(Vote(ports_[0], "al.exe", "127.0.0.1"), 200);
  EXPECT_EQ(Vote(ports_[0], "al.exe", "127.0.0.2", "198.51.100.1"), 200);
  EXPECT_EQ(Vote(ports_[0], "bl.exe", "127.0.0.1"), 200);                  // changes its mind
  EXPECT_EQ(Vote(ports_[0], "al.exe", "127.0.0.2", "198.51.100.2"), 200);  // says it again
  // Straight to a server the header counts for nothing.
  EXPECT_EQ(Vote(ports_[1], "bl.exe", "127.0.0.5", "198.51.100.3"), 200);
  EXPECT_EQ(Vote(ports_[2], "bl.exe", "127.0.0.5", "198.51.100.4"), 200);
  // Asked straight, by an address that is no proxy, and through nginx: one answer.
  const std::string first = Lookup(ports_[1]);
  EXPECT_TRUE(first.starts_with("3 ratings for " + digest_ + "<br>")) << first;
  EXPECT_NE(first.find("|bl.exe|"), std::string::npos) << first;
  EXPECT_NE(first.find("|al.exe|"), std::string::npos) << first;
  EXPECT_EQ(Lookup(ports_[2]), first);
  EXPECT_EQ(Lookup(ports_[0]), first);
  const auto ranged = Ask(ports_[0], "", "127.0.0.6", "Range: bytes=0-3\r\n");
  EXPECT_EQ(StatusCode(ranged.response), 200) << ranged.response;
  EXPECT_EQ(ClientView(ranged.response), first);

  std::string all;
  for (const auto& file : logs_) {
    std::ifstream in(file);
    const std::string log(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(log.find(digest_ + "&file="), std::string::npos) << log;
    all += log;
  }
  for (const char* vote : {"127.0.0.2 GET /~vantor/filecheck.php?md5=%s&file=al.exe",
                           "127.0.0.1 GET /~vantor/filecheck.php?md5=%s&file=bl.exe"}) {
    std::string wanted = vote;
    wanted.replace(wanted.find("%s"), 2, digest_);
    EXPECT_NE(all.find(wanted), std::string::npos) << all;
  }
}
