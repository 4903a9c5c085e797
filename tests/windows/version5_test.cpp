// The platform of version 5 for real: Wine told to be Windows XP (winxp64) reports 5.2.
// The suite "windows_winxp64_suite" runs these in a prefix of its own switched that way;
// in any other prefix they have nothing to prove and are skipped.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/OsVersion.h"
#include "app/TextFunctions.h"
#include "guard/Locations.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"

namespace {

const StartupEntry* FindAt(const StartupEntryList& entries, const std::string& location) {
  auto found = std::find_if(entries.begin(), entries.end(), [&](const StartupEntry& entry) {
    return EqualsIgnoringCase(entry.Location, location);
  });
  return found == entries.end() ? nullptr : &*found;
}

class RealVersion5Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::GetEnv("RUNWARDEN_WINE_VERSION") != "winxp64")
      GTEST_SKIP() << "needs the prefix that the winxp64 suite switches to Windows XP";
    sandbox_.Own(kHkcuRun);
  }

  RegistrySandbox sandbox_;
};

}  // namespace

// Wine's real version 5, and the tasks folder watched on it, after the registry. (What
// else hangs on the version, a blocked Startup file's backup and the repair of the
// settings, is proven through a version override in the unit tests.)
TEST_F(RealVersion5Test, TheSystemSaysFiveAndTheTasksFolderIsWatched) {
  ASSERT_EQ(GetOSMajorVersion(), 5);
  std::string tasks = platform::GetEnv("windir") + "\\tasks";
  platform::CreateFolder(tasks);
  std::string job = tasks + "\\RwTest Nightly.job";
  ASSERT_TRUE(platform::WriteWholeFile(job, "job"));
  WriteRegValue(kHkcuRun, "RwTest Run", "C:\\Prog\\upd.exe");
  StartupEntryList entries = CollectStartupEntries();
  platform::RemoveFile(job);
  const StartupEntry* task = FindAt(entries, job);
  ASSERT_NE(task, nullptr) << "the tasks folder was not read";
  EXPECT_EQ(task->Command, task->Location);
  const StartupEntry* run = FindAt(entries, kHkcuRun);
  ASSERT_NE(run, nullptr);
  EXPECT_LT(run, task);
}
