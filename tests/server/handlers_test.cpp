// What each route answers, free of sockets, at a time the test sets.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "Handlers.h"
#include "ServerTestSupport.h"

using server::Handlers;

namespace {

const std::string kFormType = std::string("multipart/form-data, boundary=") + kFormBoundary;
const std::string kBusy =
    "503 Service Unavailable: the database cannot be written just now, please try again later";

class HandlersTest : public ::testing::Test {
 protected:
  HandlersTest() { Use({}); }
  void Use(const server::Policy& policy) {
    handlers_ = std::make_unique<Handlers>(
        store_, folder_.path(), policy, [this] { return now_; },
        [this](const std::string& line) { log_.push_back(line); });
  }
  server::Reply Check(const std::string& query, const std::string& from = "127.0.0.1") {
    return handlers_->FileCheck("GET", "/~vantor/filecheck.php?" + query, from);
  }
  int Report(const std::string& err, const std::string& from = "127.0.0.5") {
    return handlers_
        ->ReceiveErrorReport(kFormType, server_test::ClientPostBody("Runwarden-1.4", err), from)
        .status;
  }

  server_test::TempFolder folder_;
  server::SqliteStore store_{folder_.path() / "data.sqlite", std::chrono::milliseconds(50)};
  std::vector<std::string> log_;
  // 2026-12-05T03:45:12Z
  std::chrono::system_clock::time_point now_{std::chrono::seconds(1796442312)};
  std::unique_ptr<Handlers> handlers_;
};

}  // namespace

// A name cannot break the record format, cast a second vote or grow without end.
TEST_F(HandlersTest, FileNamesAreKeptInsideTheirField) {
  const std::pair<std::string, std::string> cases[] = {
      {"a%7Cb%3Cbr%3Ec%0D%0Ad%09.exe", "a_b_br_cd.exe"},
      {"x.exe%26report%3Dbl", "x.exe&report=bl"},
      {std::string(400, 'x'), std::string(Handlers::kMaxFileName, 'x')},
  };
  for (const auto& [sent, kept] : cases) {
    const std::string digest = std::to_string(kept.size());
    Check("md5=" + digest + "&file=" + sent + "&report=al");
    const std::string body = Check("md5=" + digest).body;
    EXPECT_TRUE(body.starts_with("1 rating for " + digest + "<br>")) << body;
    EXPECT_EQ(body.substr(body.find('|')), "|" + kept + "|A user on 2026-12-05|al");
  }
}

// Any case; the longest digest the error text promises is taken, one digit more is not; a
// bad lookup or vote records nothing.
TEST_F(HandlersTest, DigestsOfOneToSixtyFourDigitsAndRefusedQueries) {
  const std::string longest(64, 'f');
  EXPECT_EQ(Check("md5=" + longest + "&file=f.exe&report=al").body,
            "recorded al for " + std::string(64, 'F'));
  EXPECT_EQ(Check("md5=A").body, "no record found");
  const std::string bad = "400 Bad Request: ";
  const std::tuple<std::string, std::string, std::string> refused[] = {
      {"md5=" + longest + "0", "a", bad + "md5 must be a digest of 1 to 64 hexadecimal digits"},
      {"", "a", bad},
      {"md5=", "a", bad},
      {"md5=XYZ", "a", bad},
      {"file=f.exe&report=al", "a", bad},
      {"md5=AA&file=f.exe&report=AL", "a", bad},
      {"md5=AA&file=f.exe&report=ok", "a", bad},
      {"md5=AA&file=f.exe&report=", "a", bad},
      {"md5=AA&file=f.exe&report=al", "", bad + "the client's address is unknown"},
      {"md5=AA", "", bad},
  };
  for (const auto& [query, from, body] : refused) {
    const auto reply = Check(query, from);
    EXPECT_EQ(reply.status, 400) << query;
    EXPECT_TRUE(reply.body.starts_with(body)) << query << ": " << reply.body;
  }
  // A HEAD may look up but never records (a HEAD's reply has no body on the wire).
  EXPECT_EQ(
      handlers_->FileCheck("HEAD", "/~vantor/filecheck.php?md5=AA&file=f.exe&report=al", "a").body,
      "405 Method Not Allowed: a rating is sent with GET");
  EXPECT_EQ(Check("md5=AA").body, "no record found");
  EXPECT_EQ(Check("md5=" + std::string(64, 'F')).body,
            "1 rating for " + std::string(64, 'F') + "<br>1|f.exe|A user on 2026-12-05|al");
}

// What a report holds is stored byte for byte: the wire-level test.
TEST_F(HandlersTest, ErrorReportsAreStoredWithTimeAndAddressOrRefused) {
  EXPECT_EQ(Report("e"), 200);
  EXPECT_EQ(store_.ErrorReports(1).at(0).time, "2026-12-05T03:45:12Z");
  EXPECT_EQ(Report("e", ""), 400);
  const std::string body = server_test::ClientPostBody("Runwarden-1.4", "e");
  const std::pair<std::string, std::string> refused[] = {
      {"text/plain", body},
      {"multipart/form-data, boundary=other", body},
      {"multipart/form-data; boundary=B",
       "--B\r\nContent-Disposition: form-data;name=\"prog\"\r\n\r\nRunwarden-1.4\r\n--B\r\n"},
  };
  for (const auto& [type, sent] : refused)
    EXPECT_EQ(handlers_->ReceiveErrorReport(type, sent, "a").status, 400) << type;
  EXPECT_EQ(store_.ErrorReports(10).size(), 1u);
}

TEST_F(HandlersTest, PagesForAPersonAndTheUpdateList) {
  store_.AddErrorReport({0, "t", "a", "Runwarden-1.4", "e"}, {});
  store_.AddErrorReport({0, "t", "a", "Runwarden-1.5", "e"}, {});
  const std::pair<std::string, std::vector<std::string>> pages[] = {
      {"?request=dn", {"<title>Support Runwarden</title>"}},
      {"?request=er&program=Runwarden.exe",
       {"<h1>Report an error in Runwarden</h1>", "2 reports about Runwarden",
        "enctype=\"multipart/form-data\"", "name=\"prog\" value=\"Runwarden\""}},
      {"?request=fr&program=Runwarden.exe",
       {"<h1>Request a feature for Runwarden</h1>", "value=\"Runwarden feature request\""}},
      {"?request=er&program=%3Cscript%3E%22x", {"&lt;script&gt;&quot;x"}},
  };
  for (const auto& [query, texts] : pages) {
    const auto page = handlers_->ErrorReportPage("/~vantor/progerr.php" + query);
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.contentType.starts_with("text/html")) << page.contentType;
    EXPECT_EQ(page.body.find("<script>"), std::string::npos);
    for (const auto& text : texts)
      EXPECT_NE(page.body.find(text), std::string::npos) << query << ": " << text;
  }
  EXPECT_EQ(handlers_->ErrorReportPage("/~vantor/progerr.php").status, 400);
  EXPECT_EQ(handlers_->ErrorReportPage("/~vantor/progerr.php?request=xx").status, 400);

  EXPECT_EQ(handlers_->UpdateList().status, 404);
  std::filesystem::create_directories(folder_.path() / "updates");
  const auto file = folder_.path() / "updates" / "updates.ini";
  const std::string list = "#Updates\r\nRunwarden.exe#1.4.0.9\r\nupdate.exe#1.0.0.1\r\n";
  std::ofstream(file, std::ios::binary) << list;
  EXPECT_EQ(handlers_->UpdateList().body, list);
  std::ofstream(file, std::ios::binary) << std::string(Handlers::kMaxUpdateList + 1, 'x');
  EXPECT_EQ(handlers_->UpdateList().status, 500);
}

// Another connection holds the database's write lock.
TEST_F(HandlersTest, VotesAndReportsGetA503WhileTheDatabaseCannotBeWrittenAndTheLogSaysSoOnce) {
  EXPECT_EQ(Check("md5=AA&file=f.exe&report=al", "127.0.0.1").status, 200);
  auto lock = std::make_unique<server_test::SqliteLock>(folder_.path() / "data.sqlite");
  const auto vote = Check("md5=AA&file=g.exe&report=bl", "127.0.0.2");
  EXPECT_EQ(vote.status, 503);
  EXPECT_EQ(vote.body, kBusy);
  EXPECT_GT(vote.retryAfter, 0);
  EXPECT_EQ(Report("e", "127.0.0.2"), 503);
  // Lookups go on, and neither the refused writes nor the other's show.
  EXPECT_EQ(Check("md5=AA", "127.0.0.3").body,
            "1 rating for AA<br>1|f.exe|A user on 2026-12-05|al");
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_TRUE(log_[0].starts_with("database cannot be written: ")) << log_[0];

  lock.reset();
  EXPECT_TRUE(store_.ErrorReports(10).empty());
  EXPECT_EQ(Check("md5=AA&file=g.exe&report=bl", "127.0.0.2").status, 200);
  EXPECT_EQ(log_, (std::vector<std::string>{log_[0], "database can be written again"}));
}

TEST_F(HandlersTest, VotesAndReportsArePerAddressAndHour) {
  server::Policy policy;
  policy.votesPerHour = 3;
  policy.reportsPerHour = 1;
  Use(policy);
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(Check("md5=" + std::to_string(i) + "&report=al").status, 200) << i;
  const auto refused = Check("md5=4&report=al");
  EXPECT_EQ(refused.status, 429);
  EXPECT_EQ(refused.body,
            "429 Too Many Requests: too many ratings from your address, please try again later");
  EXPECT_EQ(refused.retryAfter, 1200);
  EXPECT_EQ(Check("md5=4&report=al", "127.0.0.2").status, 200);
  // A lookup is not a vote, nor is a malformed vote.
  EXPECT_TRUE(Check("md5=4").body.starts_with("1 rating for"));
  EXPECT_EQ(Check("md5=4&report=xx", "127.0.0.2").status, 400);

  EXPECT_EQ(Report("e", "127.0.0.1"), 200);
  EXPECT_EQ(Report("e", "127.0.0.1"), 429);
  EXPECT_EQ(store_.ErrorReports(10).size(), 1u);
}

TEST_F(HandlersTest, ErrorReportsAreDroppedWithAgeAndOverTheCap) {
  server::Policy policy;
  policy.reportsPerHour = 0;
  policy.reportDays = 30;
  policy.reportBytes = 3000;
  Use(policy);
  auto first = [&] { return store_.ErrorReports(10).at(0).err[0]; };
  EXPECT_EQ(Report(std::string(1000, 'a')), 200);
  EXPECT_EQ(Report(std::string(1000, 'b')), 200);
  EXPECT_EQ(Report(std::string(1000, 'c')), 200);  // over 3000 bytes with the prog fields
  EXPECT_EQ(store_.ErrorReports(10).size(), 2u);
  EXPECT_EQ(first(), 'b');

  now_ += std::chrono::hours(24 * 20);
  EXPECT_EQ(Report(std::string(1000, 'd')), 200);
  now_ += std::chrono::hours(24 * 15);  // c is 35 days old, d 15 (b went over the cap when d came)
  handlers_->TrimErrorReports();
  EXPECT_EQ(store_.ErrorReports(10).size(), 1u);
  EXPECT_EQ(first(), 'd');
}
