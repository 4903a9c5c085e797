// The deployment of deploy/: nginx in front of two servers on one PostgreSQL
// database, started by tests/server/with_deployment.sh. Clients vote through nginx
// from two addresses; both servers must then answer the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ServerTestSupport.h"

using server_test::ClientView;
using server_test::RandomDigest;
using server_test::SendRaw;
using server_test::StatusCode;

namespace {

int Port(const std::string& address) {
  return std::stoi(address.substr(address.rfind(':') + 1));
}

std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  std::istringstream in(text ? text : "");
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

std::string Read(const std::string& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ProxyDeployment : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* proxy = std::getenv("RUNWARDEN_TEST_PROXY");
    if (!proxy)
      GTEST_SKIP() << "no deployment given";
    proxy_ = Port(proxy);
    for (const auto& server : Words(std::getenv("RUNWARDEN_TEST_SERVERS")))
      servers_.push_back(Port(server));
    logs_ = Words(std::getenv("RUNWARDEN_TEST_SERVER_LOGS"));
    ASSERT_EQ(servers_.size(), 2u);
    ASSERT_EQ(logs_.size(), 2u);
  }

  int Vote(int port,
           const std::string& digest,
           const std::string& file,
           const std::string& verdict,
           const std::string& from,
           const std::string& forwardedFor = "") {
    std::string request = BuildGetRequest("/~vantor/filecheck.php?md5=" + digest + "&file=" + file +
                                          "&report=" + verdict);
    if (!forwardedFor.empty())
      request.insert(request.size() - 2, "X-Forwarded-For: " + forwardedFor + "\r\n");
    return StatusCode(SendRaw(port, request, from).response);
  }

  std::string Lookup(int port, const std::string& digest, const std::string& from = "127.0.0.3") {
    const auto exchange =
        SendRaw(port, BuildGetRequest("/~vantor/filecheck.php?md5=" + digest), from);
    EXPECT_TRUE(exchange.closedByServer);
    EXPECT_EQ(StatusCode(exchange.response), 200) << exchange.response;
    return ClientView(exchange.response);
  }

  int proxy_ = 0;
  std::vector<int> servers_;
  std::vector<std::string> logs_;
};

}  // namespace

TEST_F(ProxyDeployment, BothServersCountTheVotesCastThroughTheProxy) {
  const std::string digest = RandomDigest();
  EXPECT_EQ(Vote(proxy_, digest, "a.exe", "al", "127.0.0.1"), 200);
  EXPECT_EQ(Vote(proxy_, digest, "b.exe", "al", "127.0.0.2"), 200);
  EXPECT_EQ(Vote(proxy_, digest, "c.exe", "bl", "127.0.0.1"), 200);  // changes its mind
  EXPECT_EQ(Vote(proxy_, digest, "b.exe", "al", "127.0.0.2"), 200);  // says it again

  // Asked straight, by an address that is no proxy, and through nginx: one answer.
  const std::string expected = "2 ratings for " + digest;
  const std::string first = Lookup(servers_[0], digest);
  EXPECT_TRUE(first.starts_with(expected + "<br>")) << first;
  EXPECT_NE(first.find("|c.exe|"), std::string::npos) << first;
  EXPECT_NE(first.find("|b.exe|"), std::string::npos) << first;
  EXPECT_TRUE(first.ends_with("|al")) << first;
  EXPECT_EQ(Lookup(servers_[1], digest), first);
  EXPECT_EQ(Lookup(proxy_, digest), first);

  // nginx took turns, and each server saw the clients' own addresses.
  const std::string logs[] = {Read(logs_[0]), Read(logs_[1])};
  for (const auto& log : logs)
    EXPECT_NE(log.find(digest + "&file="), std::string::npos) << log;
  const std::string all = logs[0] + logs[1];
  EXPECT_NE(all.find("127.0.0.2 GET /~vantor/filecheck.php?md5=" + digest + "&file=b.exe"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("127.0.0.1 GET /~vantor/filecheck.php?md5=" + digest + "&file=c.exe"),
            std::string::npos)
      << all;
}

TEST_F(ProxyDeployment, NobodyCanMakeUpTheAddressTheyVoteFrom) {
  const std::string digest = RandomDigest();
  // Through nginx the header a client sends is replaced by its real address: one slot.
  EXPECT_EQ(Vote(proxy_, digest, "a.exe", "al", "127.0.0.4", "198.51.100.1"), 200);
  EXPECT_EQ(Vote(proxy_, digest, "a.exe", "al", "127.0.0.4", "198.51.100.2"), 200);
  // Straight to a server the header counts for nothing.
  EXPECT_EQ(Vote(servers_[0], digest, "b.exe", "bl", "127.0.0.5", "198.51.100.3"), 200);
  EXPECT_EQ(Vote(servers_[1], digest, "b.exe", "bl", "127.0.0.5", "198.51.100.4"), 200);
  EXPECT_TRUE(Lookup(proxy_, digest).starts_with("2 ratings for " + digest + "<br>"));
}

TEST_F(ProxyDeployment, NoByteRangesThroughTheProxy) {
  const std::string digest = RandomDigest();
  EXPECT_EQ(Vote(proxy_, digest, "a.exe", "al", "127.0.0.6"), 200);
  const std::string plain = Lookup(proxy_, digest);
  std::string request = BuildGetRequest("/~vantor/filecheck.php?md5=" + digest);
  request.insert(request.size() - 2, "Range: bytes=0-3,0-3,0-3\r\n");
  const auto exchange = SendRaw(proxy_, request, "127.0.0.6");
  EXPECT_EQ(StatusCode(exchange.response), 200) << exchange.response;
  EXPECT_EQ(ClientView(exchange.response), plain);
}
