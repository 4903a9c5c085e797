#include <gtest/gtest.h>

#include "app/basMain.h"
#include "app/modINI.h"
#include "net/ServerAddress.h"
#include "net/ctlProgramSupport.h"
#include "platform/files.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "registry/basReg.h"
#include "support/LoopbackPeer.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"

namespace {

struct ShellCall {
  std::string verb, file, parameters, folder;
  int show;
};

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() : exe_(folder_.File("Runwarden.exe")), program_(exe_) {
    AppExePath = exe_;
    sandbox_.Own(LastUpdateKey(exe_));
    SetServerAddressForTesting(peer_.Address());
    SetIniValue(folder_.File("ver.ini"), "Installed", "Runwarden.exe", "1.4.0.9");
    platform::SetShellOpenRecorderForTesting(
        [this](const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& folder, int show) {
          opened_.push_back({verb, file, parameters, folder, show});
          return true;
        });
  }
  ~UpdateCheckTest() override {
    platform::SetShellOpenRecorderForTesting(nullptr);
    SetServerAddressForTesting("");
    platform::SetNowForTesting({});
  }

  // The list as served: a marker line padded to the length the check wants, then
  // the entry lines.
  void Serve(const std::string& entries, const std::string& marker = "#Updates") {
    std::string first = marker + " list of current versions" + std::string(80, '-');
    peer_.SetReply("HTTP/1.0 200 OK\r\n\r\n" + first + "\r\n" + entries);
  }
  bool Available() { return support_.isUpdateAvailable(exe_); }

  TestFolder folder_;
  std::string exe_;
  ProgramLocation program_;
  RegistrySandbox sandbox_;
  LoopbackPeer peer_;
  ctlProgramSupport support_;
  std::vector<ShellCall> opened_;
};

TEST_F(UpdateCheckTest, NewerVersionOfOurOwnFileIsAnUpdate) {
  Serve("Other.exe#9.9.9.9\r\nRunwarden.exe#1.4.1.0");
  EXPECT_TRUE(Available());
  ASSERT_EQ(peer_.connections(), 1);
  EXPECT_EQ(peer_.requests()[0].substr(0, 47), "GET /~vantor/updates/updates.ini HTTP/1.0\r\nAcce");

  Serve("RUNWARDEN.EXE#2.0.0.0");  // the name matches without regard to case
  EXPECT_TRUE(Available());
  Serve("Runwarden.exe#1.4.0.9\r\n");  // the same version, then a trailing line break
  EXPECT_FALSE(Available());
  Serve("Runwarden.exe#1.4.0.10");  // one digit more is a bigger number
  EXPECT_TRUE(Available());
  Serve("Runwarden.exe#1.5");  // 15 is not above 1409
  EXPECT_FALSE(Available());
  Serve("Runwarden.exe#1.4.1.0", "#updates");
  EXPECT_TRUE(Available());
}

TEST_F(UpdateCheckTest, ListsThatAreShortUnmarkedOrMisshapenOfferNothing) {
  peer_.SetReply("HTTP/1.0 200 OK\r\n\r\n#Updates\r\nRunwarden.exe#9.0.0.0");  // under 100
  EXPECT_FALSE(Available());
  Serve("Runwarden.exe#9.0.0.0", "#Versions");
  EXPECT_FALSE(Available());
  // An entry on the first line is never read.
  peer_.SetReply("HTTP/1.0 200 OK\r\n\r\nRunwarden.exe#9.0.0.0 #Updates" + std::string(90, ' ') +
                 "\r\nOther.exe#1.0");
  EXPECT_FALSE(Available());
  Serve("\r\nRunwarden.exe#9.0.0.0");  // an empty line ends the list
  EXPECT_FALSE(Available());
  Serve("Runwarden.exe\r\nRunwarden.exe#9.0.0.0");  // a match without a version ends it too
  EXPECT_FALSE(Available());
  EXPECT_EQ(peer_.connections(), 5);
}

// Only an empty line ends the list: a line that starts with "#" (the marker again, a
// comment) is passed over like any other line that is not ours.
TEST_F(UpdateCheckTest, ALineStartingWithAHashDoesNotEndTheList) {
  Serve("#Updates\r\nRunwarden.exe#1.4.1.0", "# Runwarden");
  EXPECT_TRUE(Available());
  Serve("# current versions, one per line\r\nOther.exe#2.0\r\n#\r\nRunwarden.exe#1.4.1.0");
  EXPECT_TRUE(Available());
  Serve("# comment\r\n\r\nRunwarden.exe#1.4.1.0");  // the empty line still ends it
  EXPECT_FALSE(Available());
}

TEST_F(UpdateCheckTest, FirstNewerMatchWinsAndAnOlderMatchDoesNotStopTheSearch) {
  Serve("Runwarden.exe#1.0.0.0\r\nRunwarden.exe#1.4.2.0\r\nRunwarden.exe#bad");
  EXPECT_TRUE(Available());
  // Without ver.ini the installed version counts as 1.0: 1.0.0.1 (1001) is above 10.
  platform::RemoveFile(folder_.File("ver.ini"));
  Serve("Runwarden.exe#1.0.0.1");
  EXPECT_TRUE(Available());
}

TEST_F(UpdateCheckTest, LastUpdateOfTodayMeansTheServerIsNotAsked) {
  platform::SetNowForTesting({2026, 12, 5, 10, 0, 0});
  Serve("Runwarden.exe#9.0.0.0");
  WriteRegValue(LastUpdateKey(exe_), "LastUpdate", "5");
  EXPECT_FALSE(Available());
  EXPECT_EQ(peer_.connections(), 0);
  WriteRegValue(LastUpdateKey(exe_), "LastUpdate", "05");  // not the same text
  EXPECT_TRUE(Available());
  EXPECT_EQ(peer_.connections(), 1);
}

TEST_F(UpdateCheckTest, CheckUpdatesStartsTheUpdaterOnlyWhenItIsThereAndNeeded) {
  Serve("Runwarden.exe#9.0.0.0");
  support_.CheckUpdates();  // no update.exe: the server is not asked
  EXPECT_EQ(peer_.connections(), 0);
  EXPECT_TRUE(opened_.empty());

  std::string updater = folder_.Write("update.exe", "MZ");
  support_.CheckUpdates();
  EXPECT_EQ(peer_.connections(), 1);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].verb, "open");
  EXPECT_EQ(opened_[0].file, updater);
  EXPECT_EQ(opened_[0].parameters, "");
  EXPECT_EQ(opened_[0].folder, folder_.path());
  EXPECT_EQ(opened_[0].show, 1);

  Serve("Runwarden.exe#1.4.0.9");
  support_.CheckUpdates();  // asked, but nothing newer
  EXPECT_EQ(peer_.connections(), 2);
  EXPECT_EQ(opened_.size(), 1u);

  platform::WriteAttributes(updater, platform::kAttrHidden);
  Serve("Runwarden.exe#9.0.0.0");
  support_.CheckUpdates();  // a hidden updater does not count
  EXPECT_EQ(peer_.connections(), 2);
  platform::WriteAttributes(updater, platform::kAttrNormal);
  EXPECT_EQ(platform::FileSize(folder_.File("errlog.log")), -1);
}

class ErrorReportTest : public UpdateCheckTest {};

TEST_F(ErrorReportTest, ReportPostsTheTextUnchangedAndNothingIsLogged) {
  peer_.SetReply("HTTP/1.1 200 OK\r\n\r\nok");
  const std::string err = "12/5/2026 3:45:12 AM File not found 152 C:\\x <y>\r\nz";
  support_.SubmitError(err);
  ASSERT_EQ(peer_.connections(), 1);
  const std::string& request = peer_.requests()[0];
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /~vantor/progerr.php HTTP/1.1");
  platform::Version version = platform::ProgramVersion();
  EXPECT_NE(request.find("name=\"prog\"\r\nContent-Type: text/html\r\n\r\nRunwarden-" +
                         std::to_string(version.major) + "." + std::to_string(version.minor) +
                         "\r\n"),
            std::string::npos);
  EXPECT_NE(request.find("name=\"err\"\r\nContent-Type: text/html\r\n\r\n" + err +
                         "\r\n--98971212161631\r\n"),
            std::string::npos);

  // Unreachable: lost without a trace.
  ctlProgramSupport::SetTimeLimitsForTesting(300, 300);
  SetServerAddressForTesting("127.0.0.1:" + std::to_string(UnusedPort()));
  support_.SubmitError(err);
  ctlProgramSupport::SetTimeLimitsForTesting(0, 0);
  EXPECT_EQ(platform::FileSize(folder_.File("errlog.log")), -1);
}

}  // namespace
