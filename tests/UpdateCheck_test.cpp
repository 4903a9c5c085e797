#include <gtest/gtest.h>

#include "app/ErrorScope.h"
#include "app/Ini.h"
#include "app/LaunchModes.h"
#include "net/MakerService.h"
#include "net/ServerAddress.h"
#include "platform/files.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/LoopbackPeer.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

// The list as served: a marker line padded to the length the check wants, then the entries.
std::string List(const std::string& entries, const std::string& marker = "#Updates") {
  return marker + " list of current versions" + std::string(80, '-') + "\r\n" + entries;
}

enum class Offer { kNo, kYes, kListEnds };

// Installed: 1.4.0.9. Only an empty line, or a match without a version, ends the list; a
// line that starts with "#" (the marker again, a comment) is passed over.
TEST(UpdateListTest, OffersAVersionOfOurFileAboveTheInstalledOne) {
  const std::pair<std::string, Offer> cases[] = {
      {List("Other.exe#9.9.9.9\r\nRunwarden.exe#1.4.1.0"), Offer::kYes},
      {List("RUNWARDEN.EXE#2.0.0.0"), Offer::kYes},
      {List("Runwarden.exe#1.4.0.9"), Offer::kNo},
      {List("Other.exe#1.0\r\n"), Offer::kListEnds},  // a closing line break is an empty line
      {List("Runwarden.exe#1.4.0.10"), Offer::kYes},  // one digit more is a bigger number
      {List("Runwarden.exe#1.5"), Offer::kNo},        // 15 is not above 1409
      {List("Runwarden.exe#1.4.1.0", "#updates"), Offer::kYes},
      {List("Runwarden.exe#1.0.0.0\r\nRunwarden.exe#1.4.2.0\r\nRunwarden.exe#bad"), Offer::kYes},
      {"#Updates\r\nRunwarden.exe#9.0.0.0", Offer::kNo},  // under 100 characters
      {List("Runwarden.exe#9.0.0.0", "#Versions"), Offer::kNo},
      {"Runwarden.exe#9.0.0.0 #Updates" + std::string(90, ' ') + "\r\nOther.exe#1.0", Offer::kNo},
      {List("#Updates\r\nRunwarden.exe#1.4.1.0", "# Runwarden"), Offer::kYes},
      {List("# one per line\r\nOther.exe#2.0\r\n#\r\nRunwarden.exe#1.4.1.0"), Offer::kYes},
      {List("\r\nRunwarden.exe#9.0.0.0"), Offer::kListEnds},
      {List("# comment\r\n\r\nRunwarden.exe#1.4.1.0"), Offer::kListEnds},
      {List("Runwarden.exe\r\nRunwarden.exe#9.0.0.0"), Offer::kListEnds},
  };
  for (const auto& [list, offer] : cases) {
    Offer got = Offer::kListEnds;
    try {
      got = UpdateListOffersNewer(list, "Runwarden.exe", [] { return "1.4.0.9"; }) ? Offer::kYes
                                                                                   : Offer::kNo;
    } catch (const RuntimeError&) {
    }
    EXPECT_EQ(got, offer) << list;
  }
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() : exe_(folder_.File("Runwarden.exe")), program_(exe_) {
    AppExePath = exe_;
    sandbox_.Own(LastUpdateKey(exe_));
    SetServerAddressForTesting(peer_.Address());
    SetIniValue(folder_.File("ver.ini"), "Installed", "Runwarden.exe", "1.4.0.9");
  }
  ~UpdateCheckTest() override {
    SetServerAddressForTesting("");
    platform::SetNowForTesting({});
  }

  void Serve(const std::string& list) { peer_.SetReply("HTTP/1.0 200 OK\r\n\r\n" + list); }
  bool Available() { return support_.isUpdateAvailable(exe_); }
  bool ErrorLogged() { return platform::FileSize(folder_.File("errlog.log")) != -1; }

  TestFolder folder_;
  std::string exe_;
  ProgramLocation program_;
  RegistrySandbox sandbox_;
  LoopbackPeer peer_;
  ctlProgramSupport support_;
  ShellOpenLog opened_;
};

// The list is asked for and compared with the version in ver.ini; a LastUpdate of today
// means the server is not asked. CheckUpdates asks only when update.exe is there (and not
// hidden), and starts it only when something newer is offered. Without ver.ini the
// installed version counts as 1.0, and 1001 is above 10.
TEST_F(UpdateCheckTest, TheListIsAskedForUnlessCheckedTodayAndTheUpdaterStartedWhenNeeded) {
  Serve(List("Runwarden.exe#1.4.1.0"));
  EXPECT_TRUE(Available());
  ASSERT_EQ(peer_.connections(), 1);
  EXPECT_EQ(peer_.requests()[0], BuildGetRequest(kUpdatesPath));
  Serve(List("\r\nRunwarden.exe#9.0.0.0"));  // a list that ends at once offers nothing
  EXPECT_FALSE(Available());
  platform::SetNowForTesting({2026, 12, 5, 10, 0, 0});
  Serve(List("Runwarden.exe#9.0.0.0"));
  WriteRegValue(LastUpdateKey(exe_), "LastUpdate", "5");
  EXPECT_FALSE(Available());
  EXPECT_EQ(peer_.connections(), 2);
  WriteRegValue(LastUpdateKey(exe_), "LastUpdate", "05");  // not the same text
  EXPECT_TRUE(Available());
  EXPECT_EQ(peer_.connections(), 3);

  support_.CheckUpdates();  // no update.exe: the server is not asked
  EXPECT_EQ(peer_.connections(), 3);
  std::string updater = folder_.Write("update.exe", "MZ");
  support_.CheckUpdates();
  EXPECT_EQ(peer_.connections(), 4);
  EXPECT_EQ(opened_, (std::vector<ShellCall>{{"open", updater, "", folder_.path(), 1}}));
  Serve(List("Runwarden.exe#1.4.0.9"));
  support_.CheckUpdates();  // asked, but nothing newer
  EXPECT_EQ(peer_.connections(), 5);
  EXPECT_EQ(opened_.size(), 1u);
  platform::WriteAttributes(updater, platform::kAttrHidden);
  Serve(List("Runwarden.exe#9.0.0.0"));
  support_.CheckUpdates();  // a hidden updater does not count
  EXPECT_EQ(peer_.connections(), 5);
  platform::WriteAttributes(updater, platform::kAttrNormal);

  Serve(List("Runwarden.exe#1.0.0.1"));
  EXPECT_FALSE(Available());
  platform::RemoveFile(folder_.File("ver.ini"));
  EXPECT_TRUE(Available());
  EXPECT_FALSE(ErrorLogged());
}

TEST_F(UpdateCheckTest, AnErrorReportPostsTheTextUnchangedAndNothingIsLogged) {
  peer_.SetReply("HTTP/1.1 200 OK\r\n\r\nok");
  const std::string err = "12/5/2026 3:45:12 AM File not found 152 C:\\x <y>\r\nz";
  support_.SubmitError(err);
  ASSERT_EQ(peer_.connections(), 1);
  platform::Version version = platform::ProgramVersion();
  EXPECT_EQ(peer_.requests()[0], BuildPostRequest(kErrorReportPath,
                                                  "Runwarden-" + std::to_string(version.major) +
                                                      "." + std::to_string(version.minor),
                                                  err));

  // Unreachable: lost without a trace.
  ctlProgramSupport::SetTimeLimitsForTesting(300, 300);
  SetServerAddressForTesting("127.0.0.1:" + std::to_string(UnusedPort()));
  support_.SubmitError(err);
  ctlProgramSupport::SetTimeLimitsForTesting(0, 0);
  EXPECT_FALSE(ErrorLogged());
}

}  // namespace
