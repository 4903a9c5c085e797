#include "net/CommunityRating.h"

#include <gtest/gtest.h>

#include "net/ServerAddress.h"
#include "net/MakerService.h"
#include "support/LoopbackPeer.h"
#include "support/TestFolder.h"

namespace {

using Lines = std::vector<std::string>;

TEST(CommunityReplyTest, RecordsBecomeListLinesAndCounts) {
  CommunityResult two = ReadCommunityReply("x<br>a|f.exe|u1|al<br>b|f.exe|u2|bl");
  EXPECT_EQ(two.lines, (Lines{"u1 Allowed the file 'f.exe' having same hash",
                              "u2 Blocked the file 'f.exe' having same hash"}));
  EXPECT_EQ(two.allowed, 1);
  EXPECT_EQ(two.blocked, 1);
  EXPECT_EQ(two.score, 0);
  CommunityBar bar = CommunityBarLayout(2050, 100, two.allowed, two.blocked);
  EXPECT_EQ(bar.unit, 1000);
  EXPECT_EQ(bar.blocked_width, bar.allowed_width);
  EXPECT_EQ(bar.allowed_left, 1100);

  CommunityResult three =
      ReadCommunityReply("head<br>1|a.exe|u|al<br>2|a.exe|v|al<br>3|b.exe|w|al");
  EXPECT_EQ(three.score, 3);
  CommunityResult few = ReadCommunityReply("head<br>1|a|u|al<br>2|a|v|al<br>3|a|w|bl");
  EXPECT_EQ(few.score, 1);
  EXPECT_EQ(few.lines[2], "w Blocked the file 'a' having same hash");
  // Fields after the fourth are ignored.
  EXPECT_EQ(ReadCommunityReply("h<br>0|n|l|al|extra|more").score, 1);
}

TEST(CommunityReplyTest, VerdictLosesLineFeedsAndBlanksOnly) {
  const std::pair<const char*, int> cases[] = {
      {"al\n", 1}, {" al \n", 1}, {"AL", -1}, {"al\r", -1}, {"al\t", -1}};
  for (const auto& [verdict, score] : cases)
    EXPECT_EQ(ReadCommunityReply(std::string("h<br>0|f|u|") + verdict).score, score) << verdict;
}

TEST(CommunityReplyTest, NoRecordsCannotConnectAndErrors) {
  for (const char* reply : {"no record found", "NO Record FOUND for this hash<br>x|y|z|al"}) {
    CommunityResult result = ReadCommunityReply(reply);
    EXPECT_EQ(result.lines, (Lines{"no one has submitted rating for this file yet!"})) << reply;
    EXPECT_EQ(result.score, 0);
  }
  // Nothing, no tag, or the tag in capitals (found when looking, but not cut at, so
  // only the skipped first piece remains).
  for (const char* reply : {"", "HTTP/1.0 404 Not Found", "x<BR>a|f.exe|u1|al<BR>b|f.exe|u2|al"}) {
    CommunityResult result = ReadCommunityReply(reply);
    EXPECT_EQ(result.lines.back(), "cannot connect!") << reply;
    EXPECT_EQ(result.score, 0);
  }
  EXPECT_EQ(ReadCommunityReply("only the head<br>").lines,
            (Lines{"error!"}));  // the empty piece has no fourth field
  // One more tag after the last record: the lines stay, the counts go.
  CommunityResult broken = ReadCommunityReply("x<br>a|f.exe|u1|al<br>b|f.exe|u2|al<br>");
  EXPECT_EQ(broken.lines, (Lines{"u1 Allowed the file 'f.exe' having same hash",
                                 "u2 Allowed the file 'f.exe' having same hash", "error!"}));
  EXPECT_EQ(broken.score, 0);
  EXPECT_EQ(broken.allowed + broken.blocked, 0);
}

TEST(CommunityBarTest, UnitRoundsHalvesToEven) {
  EXPECT_EQ(CommunityBarLayout(55, 0, 1, 1).unit, 2);  // 2.5 -> 2
  EXPECT_EQ(CommunityBarLayout(57, 0, 1, 1).unit, 4);  // 3.5 -> 4
  EXPECT_EQ(CommunityBarLayout(60, 0, 2, 1).unit, 3);  // 3.33 -> 3
  CommunityBar only_allowed = CommunityBarLayout(1050, 40, 4, 0);
  EXPECT_EQ(only_allowed.unit, 250);
  EXPECT_EQ(only_allowed.blocked_width, 0);
  EXPECT_EQ(only_allowed.allowed_width, 1000);
  EXPECT_EQ(only_allowed.allowed_left, 40);
}

class CommunityLookupTest : public ::testing::Test {
 protected:
  CommunityLookupTest() : program_(folder_.File("Runwarden.exe")) {
    SetServerAddressForTesting(peer_.Address());
  }
  ~CommunityLookupTest() override { SetServerAddressForTesting(""); }

  TestFolder folder_;
  ProgramLocation program_;
  LoopbackPeer peer_;
  ctlProgramSupport support_;
};

TEST_F(CommunityLookupTest, LookupAsksByDigestAndReportsCarryTheVerdict) {
  peer_.SetReply(
      "HTTP/1.0 200 OK\r\n\r\nrecords<br>1|f.exe|Someone|al<br>2|g.exe|Other|bl\n"
      "<br>3|f.exe|Third|al");
  CommunityResult result = CommunityLookup(support_, "00FF");
  EXPECT_EQ(result.score, 1);
  EXPECT_EQ(result.lines.size(), 3u);
  ASSERT_EQ(peer_.connections(), 1);
  EXPECT_EQ(peer_.requests()[0], BuildGetRequest("/~vantor/filecheck.php?md5=00FF"));

  peer_.SetReply("HTTP/1.0 200 OK\r\n\r\nthanks");
  ReportDecision(support_, "00FF", "x.exe&report=al", false);
  ReportDecision(support_, "", "ignored.exe", true);  // no digest, nothing sent
  ReportDecision(support_, "00FF", "my file.exe", true);
  ASSERT_EQ(peer_.connections(), 3);
  EXPECT_EQ(peer_.requests()[1],
            BuildGetRequest("/~vantor/filecheck.php?md5=00FF&file=x.exe%26report%3Dal&report=bl"));
  EXPECT_EQ(peer_.requests()[2],
            BuildGetRequest("/~vantor/filecheck.php?md5=00FF&file=my%20file.exe&report=al"));
}

TEST_F(CommunityLookupTest, UnreachableServerListsCannotConnect) {
  ctlProgramSupport::SetTimeLimitsForTesting(300, 300);
  SetServerAddressForTesting("127.0.0.1:" + std::to_string(UnusedPort()));
  CommunityResult result = CommunityLookup(support_, "00FF");
  ctlProgramSupport::SetTimeLimitsForTesting(0, 0);
  EXPECT_EQ(result.lines, (Lines{"cannot connect!"}));
  EXPECT_EQ(result.score, 0);
}

}  // namespace
