// The server on the wire: the routes with the bytes our program sends, its replies read as
// our program reads them (what each route answers is the handlers' test), then framing,
// limits, client addresses.
#include <gtest/gtest.h>

#include <cstdio>

#include "ServerTestSupport.h"
#include "net/CommunityRating.h"

using namespace std::chrono_literals;
using namespace server_test;

namespace {

const std::string kDigest = "0123456789ABCDEF0123456789ABCDEF";
const std::string kCheck = "/~vantor/filecheck.php?md5=";
using Lines = std::vector<std::string>;

// What our program lists for a lookup's reply, without the label before each verdict.
Lines Listed(const std::string& response) {
  Lines listed;
  for (const std::string& line : ReadCommunityReply(ClientView(response)).lines)
    listed.push_back(line.substr(line.rfind(' ', line.find(" the file '") - 1) + 1));
  return listed;
}

std::string Allowed(const std::string& file) {
  return "Allowed the file '" + file + "' having same hash";
}

Exchange Get(int port, const std::string& path, const std::string& from = "127.0.0.1") {
  return SendRaw(port, BuildGetRequest(path), from);
}

int Vote(int port, const std::string& digest, const std::string& file, const std::string& from) {
  return StatusCode(Get(port, kCheck + digest + "&file=" + file + "&report=al", from).response);
}

// The queue limit of the loopback listener on `port`: ss shows it in its Send-Q column.
int ListenBacklog(int port) {
  FILE* pipe =
      ::popen(("ss -Hltn 'sport = :" + std::to_string(port) + "' 2>/dev/null").c_str(), "r");
  char line[512] = {}, state[32] = {};
  int received = 0, backlog = -1;
  if (pipe && std::fgets(line, sizeof line, pipe))
    std::sscanf(line, "%31s %d %d", state, &received, &backlog);
  if (pipe)
    ::pclose(pipe);
  return backlog;
}

}  // namespace

TEST(ServerHttp, EveryRouteOnTheWire) {
  TempFolder folder;
  server::Policy policy;
  policy.votesPerHour = 2;
  RunningServer server(folder.path(), {}, policy);
  const int port = server.port();
  EXPECT_EQ(ListenBacklog(port), 1024);

  const auto nothing = Get(port, kCheck + kDigest);
  EXPECT_TRUE(nothing.closedByServer);
  EXPECT_EQ(StatusCode(nothing.response), 200);
  EXPECT_EQ(HeaderValue(nothing.response, "Connection"), "close");
  EXPECT_EQ(ClientView(nothing.response), "no record found");

  // Votes under the peer's address, the latest of each counting, the third one refused.
  EXPECT_EQ(Vote(port, kDigest, "f.exe", "127.0.0.1"), 200);
  EXPECT_EQ(Vote(port, kDigest, "g.exe", "127.0.0.2"), 200);
  EXPECT_EQ(Vote(port, kDigest, "h.exe", "127.0.0.1"), 200);
  const auto third = Get(port, kCheck + "BB&file=f.exe&report=al", "127.0.0.1");
  EXPECT_EQ(StatusCode(third.response), 429);
  EXPECT_EQ(HeaderValue(third.response, "Retry-After"), "1800");
  const auto plain = Get(port, kCheck + kDigest);
  EXPECT_EQ(Listed(plain.response), (Lines{Allowed("h.exe"), Allowed("g.exe")}));
  const auto verdicts = server.store().Verdicts(kDigest, 10);
  ASSERT_EQ(verdicts.size(), 2u);
  EXPECT_EQ(verdicts[0].address + " " + verdicts[1].address, "127.0.0.1 127.0.0.2");

  // Byte ranges are ignored: a short request may not ask for the reply many times over.
  std::string ranges = "bytes=0-";
  for (int i = 0; i < 300; ++i)
    ranges += ",0-";
  for (const std::string& range : {ranges, std::string("bytes=0-4")}) {
    std::string request = BuildGetRequest(kCheck + kDigest);
    request.insert(request.size() - 2, "Range: " + range + "\r\n");
    EXPECT_EQ(SendRaw(port, request).response, plain.response) << range.substr(0, 20);
  }

  // An error report just under the body limit is stored byte for byte.
  const std::string err = "12/5/2026 3:45:12 AM File not found 152 Run<#>C:\\a b.exe\r\n<?>" +
                          std::string(60 * 1024, 'x');
  const auto posted =
      SendRaw(port, BuildPostRequest(kErrorReportPath, "Runwarden-1.4", err), "127.0.0.9");
  EXPECT_TRUE(posted.closedByServer);
  EXPECT_EQ(StatusCode(posted.response), 200) << posted.response.substr(0, 200);
  const auto reports = server.store().ErrorReports(10);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].prog + "|" + reports[0].address, "Runwarden-1.4|127.0.0.9");
  EXPECT_TRUE(reports[0].err == err);

  // The page and the update list on the wire are the real client's test (RealServer_test);
  // that one does not read the type.
  const auto page = Get(port, "/~vantor/progerr.php?request=er&program=Runwarden.exe").response;
  EXPECT_TRUE(HeaderValue(page, "Content-Type").starts_with("text/html")) << page;
  const auto missing = Get(port, "/~vantor/nothing.php");
  EXPECT_EQ(StatusCode(missing.response), 404);
  EXPECT_EQ(ClientView(missing.response), "404 Not Found: no such page");

  // A HEAD looks up and gets no body on the wire.
  const auto head = SendRaw(port, "HEAD " + kCheck + kDigest + " HTTP/1.0\r\n\r\n").response;
  EXPECT_EQ(StatusCode(head), 200);
  EXPECT_TRUE(head.ends_with("\r\n\r\n")) << head;
}

TEST(ServerHttp, MalformedOversizedAndSlowRequestsAreRefusedWithAReason) {
  EXPECT_EQ(server::ServerLimits().requestTime, 2s);
  TempFolder folder;
  server::ServerLimits limits;
  limits.requestTime = 500ms;
  RunningServer server(folder.path(), limits);
  std::string endlessHead = "GET " + kCheck + "AA HTTP/1.0\r\n";
  while (endlessHead.size() < 512 * 1024)
    endlessHead += "X-Filler: " + std::string(100, 'y') + "\r\n";
  const std::pair<std::string, int> cases[] = {
      {"HELLO\r\n\r\n", 400},
      {"GET\r\n\r\n", 400},
      {"GET " + kCheck + "AA HTTP/9.9\r\n\r\n", 400},
      {"POST /~vantor/progerr.php HTTP/1.1\r\nContent-Length: x\r\n\r\n", 400},
      {"POST /~vantor/progerr.php HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
       400},
      {"POST /~vantor/progerr.php HTTP/1.1\r\n\r\n", 400},
      {endlessHead + "\r\n", 400},
      {BuildGetRequest(kCheck + std::string(10000, 'A')), 414},
      {BuildPostRequest(kErrorReportPath, "Runwarden-1.4", std::string(70 * 1024, 'x')), 413},
      // Half a request line and then silence; a body that never comes whole.
      {"GET /~vantor/filecheck.php?md5=AA HTTP/1.0\r\nAccept:", 408},
      {"POST /~vantor/progerr.php HTTP/1.1\r\nContent-Length: 10\r\n\r\nshort", 408},
  };
  for (const auto& [request, status] : cases) {
    const auto exchange = SendRaw(server.port(), request);
    EXPECT_TRUE(exchange.closedByServer) << status;
    EXPECT_EQ(StatusCode(exchange.response), status) << request.substr(0, 80) << exchange.response;
    EXPECT_TRUE(ClientView(exchange.response).starts_with(std::to_string(status) + " "))
        << exchange.response;
  }
  EXPECT_TRUE(server.store().ErrorReports(10).empty());

  // A byte every 50 ms: no wait between two is long, the whole is too long.
  OpenConnection dripping(server.port(), "127.0.0.1");
  const std::string request = BuildGetRequest(kCheck + kDigest);
  Exchange answer;
  size_t sent = 0;
  while (sent < request.size() && !answer.closedByServer) {
    dripping.Send(request.substr(sent++, 1));
    const auto got = dripping.Receive(50ms);
    answer.response += got.response;
    answer.closedByServer = got.closedByServer;
  }
  EXPECT_EQ(StatusCode(answer.response), 408) << answer.response;
  EXPECT_LT(sent, request.size());
  // The same request in a few pieces within the deadline is answered.
  OpenConnection pieces(server.port(), "127.0.0.1");
  for (size_t at = 0; at < request.size(); at += 40) {
    pieces.Send(request.substr(at, 40));
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(ClientView(pieces.Receive(5s).response), "no record found");
}

TEST(ServerHttp, AStopBeforeRunIsNotLost) {
  TempFolder folder;
  server::SqliteStore store(folder.path() / "data.sqlite");
  server::Handlers handlers(store, folder.path());
  server::HttpServer http(handlers);
  ASSERT_GT(http.Bind("127.0.0.1", 0), 0);
  http.Stop();
  EXPECT_TRUE(http.Run());  // returns at once instead of serving for ever
}

TEST(ServerHttp, IdleAndDrippingClientsDoNotHoldUpALookupFromElsewhere) {
  // With the limit per address most of them are turned away at once; without it
  // all 72 are held open, and still the lookup is answered.
  for (const size_t perAddress : {size_t{16}, size_t{0}}) {
    TempFolder folder;
    server::ServerLimits limits;
    limits.connectionsPerAddress = perAddress;
    limits.requestTime = 30s;  // nobody is dropped while the lookup runs
    RunningServer server(folder.path(), limits);
    ASSERT_EQ(Vote(server.port(), kDigest, "f.exe", "127.0.0.3"), 200);

    std::vector<OpenConnection> slow;
    for (int i = 0; i < 72; ++i) {
      slow.emplace_back(server.port(), "127.0.0.1");
      if (i >= 64)
        slow.back().Send("GET " + kCheck);
    }
    std::atomic<bool> done = false;
    std::thread drip([&] {
      for (; !done; std::this_thread::sleep_for(100ms)) {
        for (size_t i = 64; i < slow.size(); ++i)
          slow[i].Send("A");
      }
    });

    const auto exchange = Get(server.port(), kCheck + kDigest, "127.0.0.2");
    EXPECT_TRUE(exchange.closedByServer) << perAddress;
    EXPECT_EQ(Listed(exchange.response), Lines{Allowed("f.exe")}) << perAddress;

    // The ones within the limit are still open and unanswered; the rest were told.
    const size_t held = perAddress == 0 ? slow.size() : perAddress;
    for (size_t i = 0; i < slow.size(); ++i) {
      if (i < held) {
        EXPECT_FALSE(slow[i].Answered()) << perAddress << " " << i;
        continue;
      }
      const auto told = slow[i].Receive(5s).response;
      EXPECT_TRUE(ClientView(told).starts_with("429 Too Many Requests: too many connections"))
          << perAddress << " " << i << told;
      EXPECT_EQ(HeaderValue(told, "Retry-After"), "1");
    }
    done = true;
    drip.join();
  }
}

// The client's address comes from a trusted proxy only, whose connections (it carries many
// clients) are not limited per address; all connections are, and a closed one frees its place.
TEST(ServerHttp, TrustedProxiesAndConnectionLimits) {
  TempFolder folder;
  server::ServerLimits limits;
  limits.trustedProxies = {"127.0.0.1"};
  limits.connectionsPerAddress = 3;
  limits.maxConnections = 8;
  RunningServer server(folder.path(), limits);
  auto vote = [&](const std::string& digest, const std::string& forwardedFor) {
    std::string request = BuildGetRequest(kCheck + digest + "&file=f.exe&report=al");
    if (!forwardedFor.empty())
      request.insert(request.size() - 2, "X-Forwarded-For: " + forwardedFor + "\r\n");
    return SendRaw(server.port(), request).response;
  };
  EXPECT_EQ(StatusCode(vote("A1", "203.0.113.9, 198.51.100.4")), 200);
  EXPECT_EQ(server.store().Verdicts("A1", 10).at(0).address, "198.51.100.4");
  EXPECT_EQ(ClientView(vote("A3", "")), "400 Bad Request: the client's address is unknown");
  EXPECT_TRUE(server.store().Verdicts("A3", 10).empty());

  std::vector<OpenConnection> held;
  for (int i = 0; i < 4; ++i)
    held.emplace_back(server.port(), "127.0.0.1");
  EXPECT_EQ(StatusCode(vote("A4", "198.51.100.6")), 200);
  for (const char* from : {"127.0.0.6", "127.0.0.5", "127.0.0.5", "127.0.0.5"})
    held.emplace_back(server.port(), from);
  const auto full = Get(server.port(), kCheck + "AA", "127.0.0.9");
  EXPECT_EQ(StatusCode(full.response), 503) << full.response;
  EXPECT_TRUE(full.closedByServer);
  for (const auto& connection : held)
    EXPECT_FALSE(connection.Answered());

  held.pop_back();
  int status = 0;
  for (int attempt = 0; attempt < 50 && status != 200; ++attempt) {
    std::this_thread::sleep_for(20ms);
    status = StatusCode(Get(server.port(), kCheck + "AA", "127.0.0.5").response);
  }
  EXPECT_EQ(status, 200);
}

TEST(ServerHttp, AVoteCutOffByAResetIsStoredUnderItsAddressOrNotAtAll) {
  TempFolder folder;
  RunningServer server(folder.path());
  for (int i = 0; i < 30; ++i) {
    OpenConnection connection(server.port(), "127.0.0.7");
    connection.Send(
        BuildGetRequest(kCheck + "C0FFEE" + std::to_string(100 + i) + "&file=f.exe&report=bl"));
    connection.Reset();
  }
  // What was taken in is answered by now; a lookup comes after all of it.
  Get(server.port(), kCheck + "AA", "127.0.0.7");
  std::this_thread::sleep_for(200ms);
  for (int i = 0; i < 30; ++i) {
    for (const auto& verdict : server.store().Verdicts("C0FFEE" + std::to_string(100 + i), 10))
      EXPECT_EQ(verdict.address, "127.0.0.7");
  }
}
