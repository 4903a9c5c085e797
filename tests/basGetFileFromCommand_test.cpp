#include "guard/basGetFileFromCommand.h"

#include <gtest/gtest.h>

#include "app/TextFunctions.h"
#include "platform/files.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"

namespace {

// A Windows folder of our own (windir points at it) with a few programs, and a tree of
// program folders beside it.
class ResolveTest : public ::testing::Test {
 protected:
  ResolveTest() : windir_("windir", folder_.File("Win")) {
    for (const char* sub : {"Win", "Win\\system32", "Win\\system", "Tools", "Program Files",
                            "Program Files\\App", "Dir", "Env", "EnvFile", "ListA", "ListB"})
      platform::CreateFolder(folder_.File(sub));
    win_ = folder_.File("Win");
    folder_.Write("Win\\notepad.exe", "MZ");
    folder_.Write("Win\\system32\\notepad.exe", "MZ");
    folder_.Write("Win\\system32\\shell32.dll", "MZ");
    folder_.Write("Win\\system\\old16.exe", "MZ");
  }

  std::string Path(const std::string& relative) const { return folder_.File(relative); }
  // The result for a command built from a path of our tree: lower case throughout.
  std::string Expected(const std::string& relative) const { return LowerCase(Path(relative)); }

  TestFolder folder_;
  ScopedEnv windir_;
  std::string win_;
};

}  // namespace

TEST_F(ResolveTest, ExistingPathsQuotesAndArguments) {
  EXPECT_EQ(ResolveCommandFile(Path("Win\\Notepad.EXE")), Expected("Win\\notepad.exe"));
  // Quoted: the text between the quotes; the file need not exist.
  EXPECT_EQ(ResolveCommandFile("\"" + Path("Program Files\\App\\App.exe") + "\" -s"),
            Expected("Program Files\\App\\app.exe"));
  // Unquoted with blanks: cut after the first program extension.
  EXPECT_EQ(ResolveCommandFile(Path("Program Files\\App\\app.exe") + " /min"),
            Expected("Program Files\\App\\app.exe"));
  EXPECT_EQ(ResolveCommandFile(Path("Program Files\\App\\setup.bat") + " /x /y"),
            Expected("Program Files\\App\\setup.bat"));
  EXPECT_EQ(ResolveCommandFile(""), "");
}

// The resolved file in the command's own letter case where the command holds its path.
TEST_F(ResolveTest, TheFileAsTheCommandSpellsIt) {
  const std::string app = Path("Program Files\\App\\App.exe");
  const struct {
    std::string command, spelled;
  } cases[] = {
      {"\"" + app + "\" -s", app},
      {app + " /min", app},
      {app, app},
      {"NOTEPAD.EXE /p", win_ + "\\notepad.exe"},     // found in the Windows folder
      {"%windir%\\Notepad", win_ + "\\notepad.exe"},  // expanded
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FileAsCommandSpellsIt(c.command, ResolveCommandFile(c.command)), c.spelled)
        << c.command;
}

TEST_F(ResolveTest, DrivePathsWithoutProgramExtensions) {
  // Two blanks or more and a dot: cut three characters after the first dot.
  EXPECT_EQ(ResolveCommandFile(Path("Program Files\\My App\\prog.dll")),
            Expected("Program Files\\My App\\prog.dll"));
  EXPECT_EQ(ResolveCommandFile(Path("Dir\\prog.dll a b")), Expected("Dir\\prog.dll"));
  // One blank: left as it is, argument and all.
  EXPECT_EQ(ResolveCommandFile(Path("Dir\\prog.dll a")), Expected("Dir\\prog.dll a"));
}

TEST_F(ResolveTest, MissingExtensionsAreFoundInTheirOrder) {
  folder_.Write("Tools\\prog.exe", "MZ");
  EXPECT_EQ(ResolveCommandFile(Path("Tools\\prog")), Expected("Tools\\prog.exe"));
  // .bat is tried before .pif here.
  folder_.Write("Tools\\both.pif", "x");
  folder_.Write("Tools\\both.bat", "x");
  EXPECT_EQ(ResolveCommandFile(Path("Tools\\both")), Expected("Tools\\both.bat"));
  // Every hit replaces the text, and the later tries build on it.
  folder_.Write("Tools\\prog.exe.com", "x");
  EXPECT_EQ(ResolveCommandFile(Path("Tools\\prog")), Expected("Tools\\prog.exe.com"));
  // Nothing there: the path as it stands.
  EXPECT_EQ(ResolveCommandFile(Path("Tools\\ghost")), Expected("Tools\\ghost"));
}

TEST_F(ResolveTest, BareNamesComeFromTheWindowsFolders) {
  EXPECT_EQ(ResolveCommandFile("notepad"), win_ + "\\notepad.exe");
  EXPECT_EQ(ResolveCommandFile("NOTEPAD.EXE /p x.txt"), win_ + "\\notepad.exe");
  EXPECT_EQ(ResolveCommandFile("old16"), win_ + "\\system\\old16.exe");
  EXPECT_EQ(ResolveCommandFile("rundll32.exe shell32.dll,Control_RunDLL"),
            win_ + "\\system32\\shell32.dll");
  EXPECT_EQ(ResolveCommandFile("RUNDLL32 shell32.dll,Control_RunDLL x"),
            win_ + "\\system32\\shell32.dll");
  // A relative path with a folder is never searched for.
  EXPECT_EQ(ResolveCommandFile("system32\\notepad.exe"), "system32\\notepad.exe");
  EXPECT_EQ(ResolveCommandFile("nosuchprogram_rw"), "nosuchprogram_rw");
}

TEST_F(ResolveTest, EnvironmentVariablesAreExpanded) {
  // With an argument the expansion adds a backslash; the platform takes the doubled one.
  EXPECT_EQ(ResolveCommandFile("%windir%\\notepad.exe /a"), win_ + "\\\\notepad.exe");
  EXPECT_EQ(ResolveCommandFile("%WINDIR%\\system32\\notepad.exe"),
            win_ + "\\system32\\notepad.exe");
  EXPECT_EQ(ResolveCommandFile("%windir%\\notepad"), win_ + "\\notepad.exe");
  ScopedEnv tools("RWTEST_TOOLS", Path("Tools"));
  folder_.Write("Tools\\tool.exe", "MZ");
  EXPECT_EQ(ResolveCommandFile("\"%rwtest_tools%\\tool.exe\" -x"), Path("Tools") + "\\tool.exe");
}

TEST_F(ResolveTest, EveryCommandEndsEvenWithoutAVariableToRead) {
  for (const char* odd : {"%", "%%", "%abc", "%%x.exe", "% a b", "%abc def", "\"%\"", "%a%%b%%c%",
                          "\"", "\"\"\"", " ", "rundll32 ", "rundll32.exe ,", "%rwtest_unset%\\x.exe"}) {
    std::string result = ResolveCommandFile(odd);
    EXPECT_LE(result.size(), std::string(odd).size() + 1) << odd;
  }
  EXPECT_EQ(ResolveCommandFile("%abc"), "%abc");
  EXPECT_EQ(ResolveCommandFile("%%x.exe"), "%%x.exe");
  EXPECT_EQ(ResolveCommandFile("%rwtest_unset%\\x.exe"), "\\x.exe");
}

TEST_F(ResolveTest, FindInSystemFoldersUsesTheFoldersOfEnvironmentValues) {
  folder_.Write("Env\\byfolder.exe", "MZ");
  folder_.Write("EnvFile\\byfile.com", "MZ");
  folder_.Write("EnvFile\\readme.txt", "x");
  folder_.Write("ListB\\bylist.bat", "x");
  ScopedEnv by_folder("RWTEST_FOLDER", Path("Env"));
  ScopedEnv by_file("RWTEST_FILE", Path("EnvFile\\readme.txt"));
  ScopedEnv by_list("RWTEST_LIST", "\"" + Path("ListA") + "\";" + Path("ListB") + "\\");
  EXPECT_EQ(FindInSystemFolders("byfolder"), Path("Env") + "\\byfolder.exe");
  EXPECT_EQ(FindInSystemFolders("byfile"), Path("EnvFile") + "\\byfile.com");
  EXPECT_EQ(FindInSystemFolders("bylist"), Path("ListB") + "\\bylist.bat");
  EXPECT_EQ(FindInSystemFolders("bylist.bat"), Path("ListB") + "\\bylist.bat");
  // The Windows folders come first.
  EXPECT_EQ(FindInSystemFolders("notepad"), win_ + "\\notepad.exe");
  EXPECT_EQ(FindInSystemFolders("Env\\byfolder.exe"), "");
  EXPECT_EQ(FindInSystemFolders(""), "");
  EXPECT_EQ(FindInSystemFolders("rw_nowhere_at_all"), "");
}

TEST_F(ResolveTest, FindWithExtensionTriesItsOwnOrder) {
  folder_.Write("Tools\\x.pif", "x");
  folder_.Write("Tools\\x.bat", "x");
  folder_.Write("Tools\\x.cmd", "x");
  EXPECT_EQ(FindWithExtension(Path("Tools\\x")), Path("Tools\\x") + ".pif");
  folder_.Write("Tools\\x.com", "x");
  EXPECT_EQ(FindWithExtension(Path("Tools\\x")), Path("Tools\\x") + ".com");
  folder_.Write("Tools\\y.cmd", "x");
  EXPECT_EQ(FindWithExtension(Path("Tools\\y")), Path("Tools\\y") + ".cmd");
  EXPECT_EQ(FindWithExtension(Path("Tools\\x.com")), Path("Tools\\x.com"));
  EXPECT_EQ(FindWithExtension(Path("Tools\\z.exe")), "");
  EXPECT_EQ(FindWithExtension(Path("Tools\\z")), "");
}

// Only the name's own dot counts: a dot in a folder name is no extension.
TEST_F(ResolveTest, FindWithExtensionLooksForTheDotInTheNameOnly) {
  platform::CreateFolder(Path("jdk1.8"));
  platform::CreateFolder(Path("jdk1.8\\bin"));
  folder_.Write("jdk1.8\\bin\\java.exe", "MZ");
  EXPECT_EQ(FindWithExtension(Path("jdk1.8\\bin\\java")), Path("jdk1.8\\bin\\java") + ".exe");
  EXPECT_EQ(FindWithExtension(Path("jdk1.8\\bin\\java.exe")), Path("jdk1.8\\bin\\java.exe"));
  EXPECT_EQ(FindWithExtension(Path("jdk1.8\\bin\\javaw")), "");
}
