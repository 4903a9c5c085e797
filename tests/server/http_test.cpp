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
