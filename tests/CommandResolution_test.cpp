#include "guard/CommandResolution.h"

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
    for (const char* sub :
         {"Win", "Win\\system32", "Win\\system", "Tools", "Program Files", "Program Files\\App",
          "Dir", "Env", "EnvFile", "ListA", "ListB", "jdk1.8"})
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

// Each command with what it resolves to: a path of our tree (lower case throughout), or a
// file of the Windows folder, or the text as it stands.
TEST_F(ResolveTest, EveryKindOfCommandResolvesToItsFile) {
  for (const char* file : {"Tools\\prog.exe", "Tools\\both.pif", "Tools\\both.bat",
                           "Tools\\chain.exe", "Tools\\chain.exe.com", "Tools\\tool.exe"})
    folder_.Write(file, "MZ");
  ScopedEnv tools("RWTEST_TOOLS", Path("Tools"));
  const std::string w = win_;
  const struct {
    std::string command, file;
  } cases[] = {
      {Path("Win\\Notepad.EXE"), Expected("Win\\notepad.exe")},
      // Quoted: the text between the quotes; the file need not exist.
      {"\"" + Path("Program Files\\App\\App.exe") + "\" -s",
       Expected("Program Files\\App\\app.exe")},
      // Unquoted with blanks: cut after the first program extension.
      {Path("Program Files\\App\\setup.bat") + " /x /y", Expected("Program Files\\App\\setup.bat")},
      // Two blanks or more and a dot: cut three characters after the first dot; with one
      // blank it is left as it is, argument and all.
      {Path("Program Files\\My App\\prog.dll"), Expected("Program Files\\My App\\prog.dll")},
      {Path("Dir\\prog.dll a b"), Expected("Dir\\prog.dll")},
      {Path("Dir\\prog.dll a"), Expected("Dir\\prog.dll a")},
      // Missing extensions in their order (.bat before .pif); each hit builds on the last.
      {Path("Tools\\prog"), Expected("Tools\\prog.exe")},
      {Path("Tools\\both"), Expected("Tools\\both.bat")},
      {Path("Tools\\chain"), Expected("Tools\\chain.exe.com")},
      {Path("Tools\\ghost"), Expected("Tools\\ghost")},
      // Bare names come from the Windows folders; a relative path is never searched for.
      {"NOTEPAD.EXE /p x.txt", w + "\\notepad.exe"},
      {"old16", w + "\\system\\old16.exe"},
      {"RUNDLL32 shell32.dll,Control_RunDLL x", w + "\\system32\\shell32.dll"},
      {"system32\\notepad.exe", "system32\\notepad.exe"},
      {"nosuchprogram_rw", "nosuchprogram_rw"},
      // Variables: with an argument the expansion adds a backslash the platform takes.
      {"%windir%\\notepad.exe /a", w + "\\\\notepad.exe"},
      {"%WINDIR%\\system32\\notepad.exe", w + "\\system32\\notepad.exe"},
      {"%windir%\\notepad", w + "\\notepad.exe"},
      {"\"%rwtest_tools%\\tool.exe\" -x", Path("Tools") + "\\tool.exe"},
      {"%abc", "%abc"},
      {"%%x.exe", "%%x.exe"},
      {"%rwtest_unset%\\x.exe", "\\x.exe"},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveCommandFile(c.command), c.file) << c.command;
  // Every command ends, even without a variable to read.
  for (const char* odd : {"%", "%%", "% a b", "%abc def", "\"%\"", "%a%%b%%c%", "\"", "\"\"\"", " ",
                          "rundll32 ", "rundll32.exe ,"})
    EXPECT_LE(ResolveCommandFile(odd).size(), std::string(odd).size() + 1) << odd;
}

// The resolved file in the command's own letter case where the command holds its path.
TEST_F(ResolveTest, TheFileAsTheCommandSpellsIt) {
  const std::string app = Path("Program Files\\App\\App.exe");
  for (const std::string& command : {"\"" + app + "\" -s", app + " /min", app})
    EXPECT_EQ(FileAsCommandSpellsIt(command, ResolveCommandFile(command)), app) << command;
  for (const std::string command : {"NOTEPAD.EXE /p", "%windir%\\Notepad"})
    EXPECT_EQ(FileAsCommandSpellsIt(command, ResolveCommandFile(command)), win_ + "\\notepad.exe");
  EXPECT_EQ(FileAsCommandSpellsIt("", ""), "");
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
  EXPECT_EQ(FindInSystemFolders("bylist.bat"), Path("ListB") + "\\bylist.bat");
  // The Windows folders come first.
  EXPECT_EQ(FindInSystemFolders("notepad"), win_ + "\\notepad.exe");
  EXPECT_EQ(FindInSystemFolders("Env\\byfolder.exe"), "");
  EXPECT_EQ(FindInSystemFolders(""), "");
}

// Its own order (.com before .pif before .cmd), and only the name's own dot counts.
TEST_F(ResolveTest, FindWithExtensionTriesItsOwnOrder) {
  for (const char* file : {"Tools\\x.pif", "Tools\\x.bat", "Tools\\x.cmd", "Tools\\y.com",
                           "Tools\\y.pif", "Tools\\z.cmd", "jdk1.8\\java.exe"})
    folder_.Write(file, "x");
  EXPECT_EQ(FindWithExtension(Path("Tools\\x")), Path("Tools\\x") + ".pif");
  EXPECT_EQ(FindWithExtension(Path("Tools\\y")), Path("Tools\\y") + ".com");
  EXPECT_EQ(FindWithExtension(Path("Tools\\z")), Path("Tools\\z") + ".cmd");
  EXPECT_EQ(FindWithExtension(Path("Tools\\y.com")), Path("Tools\\y.com"));
  EXPECT_EQ(FindWithExtension(Path("Tools\\w.exe")), "");
  EXPECT_EQ(FindWithExtension(Path("jdk1.8\\java")), Path("jdk1.8\\java") + ".exe");
  EXPECT_EQ(FindWithExtension(Path("jdk1.8\\javaw")), "");
}
