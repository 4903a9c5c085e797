// The client against our own community server, started by tests/with_server.sh, which
// names it in RUNWARDEN_TEST_SERVER. Without that the cases are skipped.
#include <gtest/gtest.h>

#include <random>

#include "app/LaunchModes.h"
#include "net/CommunityRating.h"
#include "net/ServerAddress.h"
#include "net/MakerService.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"

namespace {

class RealServerTest : public ::testing::Test {
 protected:
  RealServerTest() : program_(folder_.File("Runwarden.exe")) {}
  void SetUp() override {
    std::string address = platform::GetEnv("RUNWARDEN_TEST_SERVER");
    if (address.empty())
      GTEST_SKIP() << "no community server given";
    SetServerAddressForTesting(address);
  }
  ~RealServerTest() override { SetServerAddressForTesting(""); }

  TestFolder folder_;
  ProgramLocation program_;
  ctlProgramSupport support_;
};

TEST_F(RealServerTest, VerdictsAreCountedOncePerClientAndTheLatestWins) {
  const std::string digest = std::to_string(std::random_device{}());  // nobody voted on it
  CommunityResult before = CommunityLookup(support_, digest);
  EXPECT_EQ(before.lines, (std::vector<std::string>{kNoRatingLine}));
  EXPECT_EQ(before.score, 0);

  ReportDecision(support_, digest, "tool.exe", true);
  CommunityResult allowed = CommunityLookup(support_, digest);
  ASSERT_EQ(allowed.lines.size(), 1u) << (allowed.lines.empty() ? "" : allowed.lines[0]);
  EXPECT_NE(allowed.lines[0].find("Allowed the file 'tool.exe' having same hash"),
            std::string::npos);
  EXPECT_EQ(allowed.score, 1);

  // The same machine changes its mind: still one record, now blocked.
  ReportDecision(support_, digest, "x.exe&report=al", false);
  CommunityResult blocked = CommunityLookup(support_, digest);
  ASSERT_EQ(blocked.lines.size(), 1u);
  EXPECT_NE(blocked.lines[0].find("Blocked the file 'x.exe&report=al' having same hash"),
            std::string::npos);
  EXPECT_EQ(blocked.score, -1);
}

// The error report and the update list the server publishes (tests/with_server.sh).
TEST_F(RealServerTest, ErrorReportIsStoredAndThePublishedUpdateListOffersANewerVersion) {
  const std::string page =
      "http://" + ServerAddress() + "/~vantor/progerr.php?request=er&program=Runwarden.exe";
  EXPECT_NE(support_.DownloadUrl(page).find("0 reports"), std::string::npos);
  support_.SubmitError("12/5/2026 3:45:12 AM File not found 152 <entry>\r\nsecond line");
  EXPECT_NE(support_.DownloadUrl(page).find("1 report "), std::string::npos);

  RegistrySandbox sandbox;
  AppExePath = folder_.File("Runwarden.exe");
  sandbox.Own(LastUpdateKey(AppExePath));
  EXPECT_TRUE(support_.isUpdateAvailable(AppExePath));
  EXPECT_FALSE(support_.isUpdateAvailable(folder_.File("Unlisted.exe")));
}

}  // namespace
