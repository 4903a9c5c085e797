#include <gtest/gtest.h>

#include <fstream>
#include <utility>
#include <vector>

#include "ServerTestSupport.h"

using server_test::ClientGet;
using server_test::ClientPost;
using server_test::ClientView;
using server_test::HeaderValue;
using server_test::RunningServer;
using server_test::SendRaw;
using server_test::StatusCode;

namespace {

const std::string kDigest = "0123456789ABCDEF0123456789ABCDEF";

std::string Lookup(int port, const std::string& digest = kDigest) {
  const auto exchange = SendRaw(port, ClientGet("/~vantor/filecheck.php?md5=" + digest));
  EXPECT_TRUE(exchange.closedByServer);
  return ClientView(exchange.response);
}

// The records as our program reads them: pieces after each "<br>", fields 1 and 3.
std::vector<std::pair<std::string, std::string>> Records(const std::string& reply) {
  std::vector<std::pair<std::string, std::string>> records;
  size_t at = reply.find("<br>");
  while (at != std::string::npos) {
    const size_t next = reply.find("<br>", at + 4);
    const std::string piece = reply.substr(at + 4, next == std::string::npos ? std::string::npos : next - at - 4);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t bar = piece.find('|'); bar != std::string::npos; bar = piece.find('|', start)) {
      fields.push_back(piece.substr(start, bar - start));
      start = bar + 1;
    }
    fields.push_back(piece.substr(start));
    EXPECT_GE(fields.size(), 4u) << piece;
    if (fields.size() >= 4) records.emplace_back(fields[1], fields[3]);
    at = next;
  }
  return records;
}

void Report(int port, const std::string& file, const std::string& verdict, const std::string& from) {
  const auto exchange =
      SendRaw(port, ClientGet("/~vantor/filecheck.php?md5=" + kDigest + "&file=" + file + "&report=" + verdict), from);
  EXPECT_TRUE(exchange.closedByServer);
  EXPECT_EQ(StatusCode(exchange.response), 200) << exchange.response;
}

using Records_t = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST(ServerHttp, AnswersTheClientsGetAndHangsUp) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());

  const auto exchange = SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=" + kDigest));
  EXPECT_TRUE(exchange.closedByServer);
  EXPECT_EQ(StatusCode(exchange.response), 200);
  EXPECT_EQ(HeaderValue(exchange.response, "Connection"), "close");
  EXPECT_EQ(ClientView(exchange.response), "no record found");
}

TEST(ServerHttp, OneVerdictPerClientAddressTheLatestCounts) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());

  Report(server.port(), "f.exe", "al", "127.0.0.1");
  Report(server.port(), "f.exe", "al", "127.0.0.1");  // the same machine again: still one
  Report(server.port(), "f.exe", "al", "127.0.0.2");
  Report(server.port(), "g.exe", "bl", "127.0.0.2");  // a change of mind replaces its al
  Report(server.port(), "My%20File.exe", "bl", "127.0.0.3");

  const std::string reply = Lookup(server.port());
  EXPECT_TRUE(reply.starts_with("3 ratings for " + kDigest + "<br>")) << reply;
  EXPECT_EQ(Records(reply), (Records_t{{"f.exe", "al"}, {"g.exe", "bl"}, {"My File.exe", "bl"}}));
  EXPECT_EQ(reply.find("\r\n"), std::string::npos);

  const auto addresses = server.store().Verdicts(kDigest, 10);
  ASSERT_EQ(addresses.size(), 3u);
  EXPECT_EQ(addresses[0].address, "127.0.0.1");
  EXPECT_EQ(addresses[1].address, "127.0.0.2");
  EXPECT_EQ(addresses[2].address, "127.0.0.3");
}

TEST(ServerHttp, StoresTheClientsMultipartPostSentByteForByte) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  const std::string err = "12/5/2026 3:45:12 AM File not found 152 Run<#>C:\\a b.exe\r\n<?>next";

  const auto exchange = SendRaw(server.port(), ClientPost("/~vantor/progerr.php", "Runwarden-1.4", err), "127.0.0.9");
  EXPECT_TRUE(exchange.closedByServer);
  EXPECT_EQ(StatusCode(exchange.response), 200) << exchange.response;
  EXPECT_EQ(HeaderValue(exchange.response, "Connection"), "close");

  const auto reports = server.store().ErrorReports(10);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].prog, "Runwarden-1.4");
  EXPECT_EQ(reports[0].err, err);
  EXPECT_EQ(reports[0].address, "127.0.0.9");
  EXPECT_EQ(reports[0].time.size(), 20u);  // 2026-12-05T03:45:12Z
}

TEST(ServerHttp, ServesTheUpdateListByteForByte) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  const std::string request = ClientGet("/~vantor/updates/updates.ini");

  auto exchange = SendRaw(server.port(), request);
  EXPECT_EQ(StatusCode(exchange.response), 404);
  EXPECT_TRUE(exchange.closedByServer);

  std::string list = "#Updates\r\nRunwarden.exe#1.4.0.9\r\n";
  list += std::string(120, ';') + "\r\n";
  std::ofstream(folder.path() / "updates" / "updates.ini", std::ios::binary) << list;
  exchange = SendRaw(server.port(), request);
  EXPECT_EQ(StatusCode(exchange.response), 200);
  EXPECT_EQ(exchange.response.substr(exchange.response.find("\r\n\r\n") + 4), list);
}

TEST(ServerHttp, BrowserPagesAreHtml) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  for (const char* query : {"request=dn", "request=er&program=Runwarden.exe", "request=fr&program=Runwarden.exe"}) {
    const auto exchange = SendRaw(server.port(), ClientGet(std::string("/~vantor/progerr.php?") + query));
    EXPECT_EQ(StatusCode(exchange.response), 200) << query;
    EXPECT_EQ(HeaderValue(exchange.response, "Content-Type").rfind("text/html", 0), 0u) << query;
    EXPECT_NE(exchange.response.find("<h1>"), std::string::npos) << query;
  }
}

TEST(ServerHttp, KeepsItsDataAcrossARestart) {
  server_test::TempFolder folder;
  {
    RunningServer server(folder.path());
    Report(server.port(), "f.exe", "al", "127.0.0.1");
    SendRaw(server.port(), ClientPost("/~vantor/progerr.php", "Runwarden-1.4", "boom"));
  }
  RunningServer server(folder.path());
  EXPECT_EQ(Records(Lookup(server.port())), (Records_t{{"f.exe", "al"}}));
  ASSERT_EQ(server.store().ErrorReports(10).size(), 1u);
  EXPECT_EQ(server.store().ErrorReports(10)[0].err, "boom");
}

TEST(ServerHttp, MalformedRequestsGetAClear400) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  for (const std::string& request : std::vector<std::string>{std::string("HELLO\r\n\r\n"), std::string("GET\r\n\r\n"),
                                    std::string("GET /~vantor/filecheck.php?md5=AA HTTP/9.9\r\n\r\n"),
                                    std::string("POST /~vantor/progerr.php HTTP/1.1\r\nContent-Length: x\r\n\r\n"),
                                    std::string("POST /~vantor/progerr.php HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab"),
                                    std::string("POST /~vantor/progerr.php HTTP/1.1\r\n\r\n"),
                                    ClientGet("/~vantor/filecheck.php?md5=not-hex")}) {
    const auto exchange = SendRaw(server.port(), request);
    EXPECT_TRUE(exchange.closedByServer) << request;
    EXPECT_EQ(StatusCode(exchange.response), 400) << request << exchange.response;
    EXPECT_TRUE(ClientView(exchange.response).starts_with("400 Bad Request: ")) << exchange.response;
  }
}

TEST(ServerHttp, UnknownPathsAre404) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  const auto exchange = SendRaw(server.port(), ClientGet("/~vantor/nothing.php"));
  EXPECT_EQ(StatusCode(exchange.response), 404);
  EXPECT_EQ(ClientView(exchange.response), "404 Not Found: no such page");
}

TEST(ServerHttp, OversizedBodyIsRefusedUnread) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  const std::string request = ClientPost("/~vantor/progerr.php", "Runwarden-1.4", std::string(70 * 1024, 'x'));

  const auto exchange = SendRaw(server.port(), request);
  EXPECT_TRUE(exchange.closedByServer);
  EXPECT_EQ(StatusCode(exchange.response), 413) << exchange.response.substr(0, 200);
  EXPECT_TRUE(server.store().ErrorReports(10).empty());
}

TEST(ServerHttp, BodyJustUnderTheLimitIsStored) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  const std::string err(60 * 1024, 'x');

  const auto exchange = SendRaw(server.port(), ClientPost("/~vantor/progerr.php", "Runwarden-1.4", err));
  EXPECT_EQ(StatusCode(exchange.response), 200);
  ASSERT_EQ(server.store().ErrorReports(10).size(), 1u);
  EXPECT_EQ(server.store().ErrorReports(10)[0].err, err);
}

TEST(ServerHttp, EndlessHeadersAreCutOff) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  std::string request = "GET /~vantor/filecheck.php?md5=AA HTTP/1.0\r\n";
  for (int i = 0; request.size() < 512 * 1024; ++i) request += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'y') + "\r\n";
  request += "\r\n";

  const auto exchange = SendRaw(server.port(), request);
  EXPECT_TRUE(exchange.closedByServer);
  EXPECT_EQ(StatusCode(exchange.response), 400);
}

TEST(ServerHttp, OverlongRequestLineIsRefused) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  const auto exchange = SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=" + std::string(10000, 'A')));
  EXPECT_TRUE(exchange.closedByServer);
  EXPECT_EQ(StatusCode(exchange.response), 414);
}

TEST(ServerHttp, AStopBeforeRunIsNotLost) {
  server_test::TempFolder folder;
  server::SqliteStore store(folder.path() / "data.sqlite");
  server::Handlers handlers(store, folder.path());
  server::HttpServer http(handlers);
  ASSERT_GT(http.Bind("127.0.0.1", 0), 0);
  http.Stop();
  EXPECT_TRUE(http.Run());  // returns at once instead of serving for ever
}

namespace {

using namespace std::chrono_literals;
using server_test::OpenConnection;

void Vote(server::Store& store, const std::string& digest, const std::string& address) {
  store.RecordVerdict({0, digest, address, "f.exe", "A user on 2026-12-05", "al", "2026-12-05T00:00:00Z"});
}

}  // namespace

TEST(ServerHttp, IdleAndDrippingClientsDoNotHoldUpALookupFromElsewhere) {
  // With the limit per address most of them are turned away at once; without it
  // all 72 are held open, and still the lookup is answered.
  for (const size_t perAddress : {size_t{16}, size_t{0}}) {
    server_test::TempFolder folder;
    server::ServerLimits limits;
    limits.connectionsPerAddress = perAddress;
    limits.requestTime = 30s;  // nobody is dropped while the lookup runs
    RunningServer server(folder.path(), limits);
    Vote(server.store(), kDigest, "10.0.0.1");

    std::vector<OpenConnection> slow;
    for (int i = 0; i < 64; ++i) slow.emplace_back(server.port(), "127.0.0.1");
    for (int i = 0; i < 8; ++i) {
      slow.emplace_back(server.port(), "127.0.0.1");
      slow.back().Send("GET /~vantor/filecheck.php?md5=");
    }
    std::atomic<bool> done = false;
    std::thread drip([&] {
      while (!done) {
        for (size_t i = 64; i < slow.size(); ++i) slow[i].Send("A");
        std::this_thread::sleep_for(100ms);
      }
    });

    const auto exchange = SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=" + kDigest), "127.0.0.2");
    EXPECT_TRUE(exchange.closedByServer) << perAddress;
    EXPECT_EQ(StatusCode(exchange.response), 200) << perAddress;
    EXPECT_EQ(Records(ClientView(exchange.response)), (Records_t{{"f.exe", "al"}}));

    // The ones within the limit are still open and unanswered; the rest were told.
    const size_t held = perAddress == 0 ? slow.size() : perAddress;
    for (size_t i = 0; i < slow.size(); ++i) {
      if (i < held) {
        EXPECT_FALSE(slow[i].Answered()) << perAddress << " " << i;
      } else {
        EXPECT_EQ(StatusCode(slow[i].Receive(5s).response), 429) << perAddress << " " << i;
      }
    }
    done = true;
    drip.join();
  }
}

TEST(ServerHttp, ARequestMustArriveWholeWithinTheDeadline) {
  EXPECT_EQ(server::ServerLimits().requestTime, 2s);
  server_test::TempFolder folder;
  server::ServerLimits limits;
  limits.requestTime = 500ms;
  RunningServer server(folder.path(), limits);

  // Half a request line and then silence; a body that never comes whole.
  for (const char* request : {"GET /~vantor/filecheck.php?md5=AA HTTP/1.0\r\nAccept:",
                              "POST /~vantor/progerr.php HTTP/1.1\r\nContent-Length: 10\r\n\r\nshort"}) {
    const auto exchange = SendRaw(server.port(), request);
    EXPECT_TRUE(exchange.closedByServer) << request;
    EXPECT_EQ(StatusCode(exchange.response), 408) << request;
    EXPECT_TRUE(ClientView(exchange.response).starts_with("408 Request Timeout: ")) << exchange.response;
  }

  // A byte every 50 ms: no wait between two is long, the whole is too long.
  OpenConnection dripping(server.port(), "127.0.0.1");
  const std::string request = ClientGet("/~vantor/filecheck.php?md5=" + kDigest);
  server_test::Exchange answer;
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

TEST(ServerHttp, ConnectionsPerAddressAreLimited) {
  server_test::TempFolder folder;
  server::ServerLimits limits;
  limits.connectionsPerAddress = 3;
  RunningServer server(folder.path(), limits);

  std::vector<OpenConnection> held;
  for (int i = 0; i < 3; ++i) held.emplace_back(server.port(), "127.0.0.5");
  const auto refused = SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=AA"), "127.0.0.5");
  EXPECT_EQ(StatusCode(refused.response), 429) << refused.response;
  EXPECT_EQ(HeaderValue(refused.response, "Retry-After"), "1");
  EXPECT_TRUE(ClientView(refused.response).starts_with("429 Too Many Requests: too many connections"));
  EXPECT_EQ(StatusCode(SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=AA"), "127.0.0.6").response),
            200);

  // One goes: its place is free again.
  held.pop_back();
  int status = 0;
  for (int attempt = 0; attempt < 50 && status != 200; ++attempt) {
    std::this_thread::sleep_for(20ms);
    status = StatusCode(SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=AA"), "127.0.0.5").response);
  }
  EXPECT_EQ(status, 200);
}

TEST(ServerHttp, TheServerAsAWholeHasACap) {
  server_test::TempFolder folder;
  server::ServerLimits limits;
  limits.maxConnections = 4;
  RunningServer server(folder.path(), limits);
  std::vector<OpenConnection> held;
  for (int i = 0; i < 4; ++i) held.emplace_back(server.port(), "127.0.1." + std::to_string(i + 1));
  const auto refused = SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=AA"), "127.0.1.9");
  EXPECT_EQ(StatusCode(refused.response), 503) << refused.response;
  EXPECT_TRUE(refused.closedByServer);
}

TEST(ServerHttp, ByteRangesAreIgnored) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  for (int i = 0; i < 20; ++i) Vote(server.store(), kDigest, "10.0.0." + std::to_string(i));
  const std::string plain = ClientView(SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=" + kDigest)).response);
  ASSERT_EQ(Records(plain).size(), 20u);

  // A short request that asks for the whole reply many times over, or for a piece.
  std::string ranges = "bytes=0-";
  for (int i = 0; i < 300; ++i) ranges += ",0-";
  for (const std::string& range : {ranges, std::string("bytes=0-4")}) {
    std::string request = ClientGet("/~vantor/filecheck.php?md5=" + kDigest);
    request.insert(request.size() - 2, "Range: " + range + "\r\n");
    const auto exchange = SendRaw(server.port(), request);
    EXPECT_EQ(StatusCode(exchange.response), 200) << range.substr(0, 20);
    EXPECT_EQ(HeaderValue(exchange.response, "Content-Length"), std::to_string(plain.size()));
    EXPECT_EQ(ClientView(exchange.response), plain);
  }
}

TEST(ServerHttp, HeadAsksButNeverVotes) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  auto head = [&](const std::string& query) {
    return SendRaw(server.port(), "HEAD /~vantor/filecheck.php?" + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  };
  const auto vote = head("md5=" + kDigest + "&file=f.exe&report=al");
  EXPECT_EQ(StatusCode(vote.response), 405);
  EXPECT_TRUE(server.store().Verdicts(kDigest, 10).empty());

  Vote(server.store(), kDigest, "10.0.0.1");
  const auto lookup = head("md5=" + kDigest);
  EXPECT_EQ(StatusCode(lookup.response), 200);
  EXPECT_EQ(ClientView(lookup.response), "");
  EXPECT_EQ(server.store().Verdicts(kDigest, 10).size(), 1u);
}

TEST(ServerHttp, AVoteCutOffByAResetIsStoredUnderItsAddressOrNotAtAll) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  std::vector<std::string> digests;
  for (int i = 0; i < 30; ++i) {
    digests.push_back("C0FFEE" + std::to_string(100 + i));
    OpenConnection connection(server.port(), "127.0.0.7");
    connection.Send(ClientGet("/~vantor/filecheck.php?md5=" + digests.back() + "&file=f.exe&report=bl"));
    connection.Reset();
  }
  // What was taken in is answered by now; a lookup comes after all of it.
  SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=AA"), "127.0.0.7");
  std::this_thread::sleep_for(200ms);
  for (const auto& digest : digests) {
    for (const auto& verdict : server.store().Verdicts(digest, 10)) EXPECT_EQ(verdict.address, "127.0.0.7");
  }
}

TEST(ServerHttp, TheListenQueueHolds1024) {
  server_test::TempFolder folder;
  RunningServer server(folder.path());
  EXPECT_EQ(server_test::ListenBacklog(server.port()), 1024);
}

TEST(ServerHttp, TheClientsAddressComesFromATrustedProxyOnly) {
  server_test::TempFolder folder;
  server::ServerLimits limits;
  limits.trustedProxies = {"127.0.0.1"};
  limits.connectionsPerAddress = 2;
  RunningServer server(folder.path(), limits);
  auto vote = [&](const std::string& from, const std::string& digest, const std::string& forwardedFor) {
    std::string request = ClientGet("/~vantor/filecheck.php?md5=" + digest + "&file=f.exe&report=al");
    if (!forwardedFor.empty()) request.insert(request.size() - 2, "X-Forwarded-For: " + forwardedFor + "\r\n");
    return SendRaw(server.port(), request, from);
  };

  EXPECT_EQ(StatusCode(vote("127.0.0.1", "A1", "203.0.113.9, 198.51.100.4").response), 200);
  EXPECT_EQ(server.store().Verdicts("A1", 10).at(0).address, "198.51.100.4");
  // Anybody else who sends the header is who it is.
  EXPECT_EQ(StatusCode(vote("127.0.0.2", "A2", "198.51.100.5").response), 200);
  EXPECT_EQ(server.store().Verdicts("A2", 10).at(0).address, "127.0.0.2");
  // The proxy that names nobody is refused.
  const auto nobody = vote("127.0.0.1", "A3", "");
  EXPECT_EQ(StatusCode(nobody.response), 400);
  EXPECT_EQ(ClientView(nobody.response), "400 Bad Request: the client's address is unknown");
  EXPECT_TRUE(server.store().Verdicts("A3", 10).empty());

  // The proxy carries many clients: its connections are not limited per address.
  std::vector<OpenConnection> held;
  for (int i = 0; i < 5; ++i) held.emplace_back(server.port(), "127.0.0.1");
  EXPECT_EQ(StatusCode(vote("127.0.0.1", "A4", "198.51.100.6").response), 200);
  for (const auto& connection : held) EXPECT_FALSE(connection.Answered());
}

TEST(ServerHttp, VotesAndErrorReportsAreLimitedPerAddress) {
  server_test::TempFolder folder;
  server::Policy policy;
  policy.votesPerHour = 2;
  policy.reportsPerHour = 1;
  RunningServer server(folder.path(), {}, policy);
  auto vote = [&](const std::string& digest, const std::string& from) {
    return SendRaw(server.port(), ClientGet("/~vantor/filecheck.php?md5=" + digest + "&file=f.exe&report=al"), from);
  };
  EXPECT_EQ(StatusCode(vote("B1", "127.0.0.8").response), 200);
  EXPECT_EQ(StatusCode(vote("B2", "127.0.0.8").response), 200);
  const auto third = vote("B3", "127.0.0.8");
  EXPECT_EQ(StatusCode(third.response), 429);
  EXPECT_EQ(HeaderValue(third.response, "Retry-After"), "1800");
  EXPECT_TRUE(server.store().Verdicts("B3", 10).empty());
  EXPECT_EQ(StatusCode(vote("B3", "127.0.0.9").response), 200);

  const std::string report = ClientPost("/~vantor/progerr.php", "Runwarden-1.4", "boom");
  EXPECT_EQ(StatusCode(SendRaw(server.port(), report, "127.0.0.8").response), 200);
  EXPECT_EQ(StatusCode(SendRaw(server.port(), report, "127.0.0.8").response), 429);
  EXPECT_EQ(server.store().ErrorReports(10).size(), 1u);
}
