#include "app/Log.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/system.h"
#include "support/TestFolder.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  LogTest() : program_(folder_.File("Runwarden.exe")) {
    platform::SetNowForTesting({2026, 12, 5, 3, 45, 12});
    stamp_ = platform::FormatGeneralDate(platform::Now());
  }
  ~LogTest() override { platform::SetNowForTesting({}); }

  std::string Entry(const std::string& text) const { return "\r\n" + stamp_ + "\t" + text; }

  TestFolder folder_;
  ProgramLocation program_;
  std::string stamp_;
};

TEST_F(LogTest, EntriesStartWithALineBreakAndTheFileNeverEndsWithOne) {
  LogEvent("Blocked File 'C:\\x\\y.exe'");
  EXPECT_EQ(folder_.Read("log.log"), Entry("Blocked File 'C:\\x\\y.exe'"));
  LogEvent("Allowed File 'C:\\a.exe'");
  LogEvent("");
  EXPECT_EQ(folder_.Read("log.log"), Entry("Blocked File 'C:\\x\\y.exe'") +
                                         Entry("Allowed File 'C:\\a.exe'") + Entry(""));
  EXPECT_FALSE(platform::FileSize(folder_.File("errlog.log")) >= 0);
}

TEST_F(LogTest, ErrorsGoToTheirOwnLog) {
  LogError("12/5/2026 3:45:12 AM File not found 0");
  EXPECT_EQ(folder_.Read("errlog.log"), Entry("12/5/2026 3:45:12 AM File not found 0"));
  EXPECT_LT(platform::FileSize(folder_.File("log.log")), 0);
}

// The stamp as a user of the program's locale (United States) reads it, written by hand.
TEST_F(LogTest, TheStampIsTheShortDateAndTheLongTime) {
  LogEvent("Allowed File 'C:\\a.exe'");
  EXPECT_EQ(folder_.Read("log.log"), "\r\n12/5/2026 3:45:12 AM\tAllowed File 'C:\\a.exe'");
  EXPECT_EQ(platform::FormatGeneralDate({2026, 1, 31, 15, 4, 5}), "1/31/2026 3:04:05 PM");
  EXPECT_EQ(platform::FormatGeneralDate({2026, 12, 5, 0, 0, 0}), "12/5/2026");
  EXPECT_EQ(platform::FormatGeneralDate({2026, 12, 5, 12, 0, 0}), "12/5/2026 12:00:00 PM");
  EXPECT_EQ(platform::FormatGeneralDate({2026, 12, 5, 0, 0, 1}), "12/5/2026 12:00:01 AM");
}

TEST_F(LogTest, GeneralDateLeavesOutTheTimeAtMidnight) {
  std::string midnight = platform::FormatGeneralDate({2026, 12, 5, 0, 0, 0});
  std::string later = platform::FormatGeneralDate({2026, 12, 5, 0, 0, 1});
  EXPECT_EQ(later.rfind(midnight + " ", 0), 0u) << later;
  EXPECT_EQ(midnight.find(' '), std::string::npos) << midnight;
  EXPECT_NE(midnight.find("2026"), std::string::npos);
}

// The entry that brings a log to exactly the limit keeps it; one byte more deletes it,
// the new entry with it, and the next entry starts a new file.
TEST_F(LogTest, SizeLimitKeepsExactlyTheLimitAndDeletesBeyondIt) {
  for (const char* name : {"log.log", "errlog.log"}) {
    auto log = [&](const std::string& text) {
      std::string(name) == "log.log" ? LogEvent(text) : LogError(text);
    };
    const std::string text = "Blocked File 'C:\\x.exe'";
    const int64_t entry_size = static_cast<int64_t>(Entry(text).size());

    folder_.Write(name, std::string(kLogSizeLimit - entry_size, 'x'));
    log(text);
    EXPECT_EQ(platform::FileSize(folder_.File(name)), kLogSizeLimit) << name;

    folder_.Write(name, std::string(kLogSizeLimit - entry_size + 1, 'x'));
    log(text);
    EXPECT_LT(platform::FileSize(folder_.File(name)), 0) << name;

    log(text);
    EXPECT_EQ(folder_.Read(name), Entry(text)) << name;
  }
}

TEST(LogFailureTest, AnUnwritableLogIsSkippedQuietly) {
  TestFolder folder;
  ProgramLocation program(folder.File("missing folder\\Runwarden.exe"));
  LogError("lost");
  LogEvent("lost");
  EXPECT_FALSE(platform::FolderExists(folder.File("missing folder")));
}

}  // namespace
