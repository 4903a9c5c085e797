#include "net/CommunityRating.h"

#include <gtest/gtest.h>

#include <tuple>

#include "net/MakerService.h"
#include "net/ServerAddress.h"
#include "support/LoopbackPeer.h"
#include "support/TestFolder.h"

namespace {

using Lines = std::vector<std::string>;

const char kAllowed[] = "u1 Allowed the file 'f.exe' having same hash";
const char kNoRating[] = "no one has submitted rating for this file yet!";

TEST(CommunityReplyTest, RecordsBecomeListLinesAndAScore) {
  const std::tuple<std::string, Lines, int> cases[] = {
      {"x<br>a|f.exe|u1|al<br>b|f.exe|u2|bl",
       {kAllowed, "u2 Blocked the file 'f.exe' having same hash"},
       0},
      {"head<br>1|a.exe|u|al<br>2|a.exe|v|al<br>3|b.exe|w|al", {}, 3},
      {"head<br>1|a|u|al<br>2|a|v|al<br>3|a|w|bl", {}, 1},
      {"h<br>0|n|l|al|extra|more", {}, 1},  // fields after the fourth are ignored
      // The verdict loses line feeds and blanks only.
      {"h<br>0|f|u|al\n", {}, 1},
      {"h<br>0|f|u| al \n", {}, 1},
      {"h<br>0|f|u|AL", {}, -1},
      {"h<br>0|f|u|al\r", {}, -1},
      {"h<br>0|f|u|al\t", {}, -1},
      {"no record found", {kNoRating}, 0},
      {"NO Record FOUND for this hash<br>x|y|z|al", {kNoRating}, 0},
      // Nothing, no tag, or the tag in capitals (found when looking, but not cut at, so
      // only the skipped first piece remains).
      {"", {"cannot connect!"}, 0},
      {"HTTP/1.0 404 Not Found", {"cannot connect!"}, 0},
      {"x<BR>a|f.exe|u1|al<BR>b|f.exe|u2|al", {"cannot connect!"}, 0},
      {"only the head<br>", {"error!"}, 0},  // the empty piece has no fourth field
      // One more tag after the last record: the lines stay, the counts go.
      {"x<br>a|f.exe|u1|al<br>b|f.exe|u2|al<br>",
       {kAllowed, "u2 Allowed the file 'f.exe' having same hash", "error!"},
       0},
  };
  for (const auto& [reply, lines, score] : cases) {
    const CommunityResult result = ReadCommunityReply(reply);
    if (!lines.empty())
      EXPECT_EQ(result.lines, lines) << reply;
    EXPECT_EQ(result.score, score) << reply;
    if (lines.size() == 3)
      EXPECT_EQ(result.allowed + result.blocked, 0) << reply;
  }
  const CommunityResult two = ReadCommunityReply(std::get<0>(cases[0]));
  EXPECT_EQ(std::pair(two.allowed, two.blocked), std::pair(1, 1));
}

// The unit rounds halves to even.
TEST(CommunityBarTest, WidthsOfTheTwoParts) {
  const std::tuple<int, int, int, int, int, int, int> cases[] = {
      // width, left, allowed, blocked: unit, blocked width, allowed left
      {2050, 100, 1, 1, 1000, 1000, 1100},
      {55, 0, 1, 1, 2, 2, 2},
      {57, 0, 1, 1, 4, 4, 4},
      {60, 0, 2, 1, 3, 3, 3},
      {1050, 40, 4, 0, 250, 0, 40}};
  for (const auto& [width, left, allowed, blocked, unit, blockedWidth, allowedLeft] : cases) {
    const CommunityBar bar = CommunityBarLayout(width, left, allowed, blocked);
    EXPECT_EQ(bar.unit, unit) << width;
    EXPECT_EQ(bar.blocked_width, blockedWidth) << width;
    EXPECT_EQ(bar.allowed_left, allowedLeft) << width;
    EXPECT_EQ(bar.allowed_width, unit * allowed) << width;
  }
}

// What the client sends; what it makes of the server's replies is the real server's test.
TEST(CommunityLookupTest, LookupAsksByDigestAndReportsCarryTheVerdict) {
  TestFolder folder;
  ProgramLocation program(folder.File("Runwarden.exe"));
  LoopbackPeer peer;
  SetServerAddressForTesting(peer.Address());
  ctlProgramSupport support;
  peer.SetReply("HTTP/1.0 200 OK\r\n\r\nrecords<br>1|f.exe|Someone|al");
  EXPECT_EQ(CommunityLookup(support, "00FF").score, 1);
  ReportDecision(support, "00FF", "x.exe&report=al", false);
  ReportDecision(support, "", "ignored.exe", true);  // no digest, nothing sent
  ReportDecision(support, "00FF", "my file.exe", true);
  SetServerAddressForTesting("");
  const std::string check = "/~vantor/filecheck.php?md5=00FF";
  EXPECT_EQ(peer.requests(), (Lines{BuildGetRequest(check),
                                    BuildGetRequest(check + "&file=x.exe%26report%3Dal&report=bl"),
                                    BuildGetRequest(check + "&file=my%20file.exe&report=al")}));
}

}  // namespace
