// The command line Windows hands over when the program sits in a folder named like it,
// in the short (8.3) form the system really gives that folder.
#include <gtest/gtest.h>

#include "app/LaunchModes.h"
#include "app/ShortPath.h"
#include "platform/files.h"
#include "support/TestFolder.h"

TEST(CommandLineTest, TheShortFormOfTheProgramsPathIsRecognised) {
  TestFolder folder;
  for (const std::string name : {"Runwarden Test", "Runwarden 1.0"}) {
    std::string exe = folder.File(name) + "\\Runwarden.exe";
    ASSERT_TRUE(platform::CreateFolder(folder.File(name)));
    ASSERT_TRUE(platform::WriteWholeFile(exe, "MZ"));
    std::string short_exe = GetShortPath(exe);
    ASSERT_FALSE(short_exe.empty());
    ASSERT_EQ(short_exe.find(' '), std::string::npos) << short_exe;
    EXPECT_EQ(CommandArgumentText(short_exe + " /s", exe, short_exe), "/s") << short_exe;
    EXPECT_EQ(CommandArgumentText("\"" + short_exe + "\" /r", exe, short_exe), "/r");
    EXPECT_EQ(CommandArgumentText(short_exe, exe, short_exe), "");
    EXPECT_EQ(CommandArgumentText(exe + " notepad.exe", exe, short_exe), "notepad.exe");
  }
}
