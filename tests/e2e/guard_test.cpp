// Runwarden.exe at logon, as Windows starts it: "/r" from the RunOnce key, then "/s"
// from the Run key, on a prefix with planted Run values and a Startup shortcut. The
// alerts are answered by pressing their real buttons through the window system.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ProgramUnderTest.h"
#include "app/Settings.h"
#include "app/TextFunctions.h"
#include "guard/BlockedBackups.h"
#include "guard/Blocking.h"
#include "guard/ListValues.h"
#include "guard/Locations.h"
#include "guard/OwnBackups.h"
#include "guard/Places.h"
#include "guard/ProcessKill.h"
#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/Techniques.h"
#include "support/TestFolder.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;
// A countdown is real time here: 31 ticks of a second, 5 seconds of "Blocked", the slide.
constexpr DWORD kCountdownTimeoutMs = 60000;
const std::string kFolder = "C:\\Program Files\\Runwarden Guard Test";
const std::string kExe = kFolder + "\\Runwarden.exe";
const std::string kQuotedExe = "\"" + kExe + "\"";
constexpr char kPreRules[] = "[RwE2E Keeper]\r\nF=keeper.exe\r\nC=Y\r\nD=Keeps the tray tidy\r\n";

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  platform::ReadWholeFile(path, &bytes);
  return bytes;
}

// The visible alert of the process, with the entry's name among its labels.
HWND AlertShowing(const RunningProgram& program, const std::string& name) {
  for (HWND window = FindWindowExW(nullptr, nullptr, L"RunwardenForm", L"Runwarden Alert"); window;
       window = FindWindowExW(nullptr, window, L"RunwardenForm", L"Runwarden Alert")) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == program.id() && IsWindowVisible(window) &&
        (name.empty() || FindDescendant(window, L"Static", Wide(name))))
      return window;
  }
  return nullptr;
}

// Waits for the alert of the process to show this notice; nullptr when it does not come.
HWND WaitForNotice(const RunningProgram& program, const std::wstring& notice) {
  HWND shown = nullptr;
  WaitUntil([&] {
    HWND alert = AlertShowing(program, "");
    shown = alert && FindDescendant(alert, L"Static", notice) ? alert : nullptr;
    return shown != nullptr;
  });
  return shown;
}

// Waits for the next alert asking about one of Names; the name it asks about.
std::string WaitForAlertAbout(const RunningProgram& program,
                              const std::set<std::string>& names,
                              HWND* alert,
                              DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    for (const std::string& name : names) {
      if (HWND found = AlertShowing(program, name)) {
        *alert = found;
        return name;
      }
    }
    if (program.WaitForExit(20))
      return "";
  }
  return "";
}

// Answers the alert as a user would: once its countdown line has settled (while the
// window grows to show it, it is disabled and takes no click), the button is pressed,
// and the alert slides away, reports the decision and goes.
bool Answer(HWND alert, const std::wstring& text) {
  if (!WaitUntil(
          [&] { return FindDescendant(alert, L"Static", L"Auto blocking in 29 seconds..."); }))
    return false;
  HWND button = FindDescendant(alert, L"Button", text);
  if (!button)
    return false;
  PressLater(button);
  return WaitUntil([&] { return !IsWindow(alert); });
}

// A prefix whose autostart places hold only what a test plants, with the program
// installed in a folder with a blank, beside its rule files.
class GuardRunTest : public ::testing::Test {
 protected:
  GuardRunTest() {
    for (const std::string& location : RegistryLocations())
      sandbox_.Own(location);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
    EXPECT_TRUE(InstallProgramAt(kExe));
    platform::WriteWholeFile(kFolder + "\\prerules.ini", kPreRules);
    platform::WriteWholeFile(kFolder + "\\virrules.ini", "");
    startup_ = platform::SpecialFolderPath(platform::kFolderStartup);
    CreateDirectoryA(startup_.c_str(), nullptr);
  }
  ~GuardRunTest() override {
    EndProcessesStartedFrom(kFolder);
    EndProcessesStartedFrom(programs_.path());
    for (const std::string& link : links_) {
      DeleteFileA(link.c_str());
      DeleteFileA((PssFolder() + "\\" + link.substr(link.find_last_of('\\') + 1)).c_str());
    }
    for (const char* file : {"ver.ini", "log.log", "errlog.log", "prerules.ini", "virrules.ini",
                             "detection.wav", "Runwarden.exe"})
      DeleteFileA((kFolder + "\\" + file).c_str());
    RemoveDirectoryA(kFolder.c_str());
  }

  // A copy of the tests' sleeper under Name: a program an entry can start. Its name is
  // appended behind the image, so each program has a digest of its own (a digest on the
  // Allowed list allows every copy of the same file).
  std::string Program(const std::string& name) {
    std::string path = programs_.File(name);
    EXPECT_TRUE(platform::WriteWholeFile(path, SleeperBytes() + name)) << path;
    return path;
  }

  std::string AddStartupShortcut(const std::string& name, const std::string& target) {
    std::string link = startup_ + "\\" + name + ".lnk";
    EXPECT_TRUE(platform::CreateShortcut(link, target)) << link;
    links_.push_back(link);
    return link;
  }

  std::string EventLog() const { return ReadFile(kFolder + "\\log.log"); }

  RegistrySandbox sandbox_;
  TestFolder programs_;
  std::string startup_;
  std::vector<std::string> links_;
};

// Answers the alerts of the process until each of Tails (how the entries' commands end,
// as short as the alert shows them) was asked about once, pressing Button; false with a
// message when one does not come.
::testing::AssertionResult AnswerEach(const RunningProgram& program,
                                      std::multiset<std::string> tails,
                                      const std::wstring& button) {
  struct Search {
    std::multiset<std::string>* tails;
    std::string found;
  };
  while (!tails.empty()) {
    HWND alert = nullptr;
    std::string tail;
    DWORD start = GetTickCount();
    while (tail.empty() && GetTickCount() - start < kTimeoutMs) {
      if ((alert = AlertShowing(program, ""))) {
        Search search{&tails, ""};
        EnumChildWindows(
            alert,
            [](HWND child, LPARAM param) -> BOOL {
              auto* search = reinterpret_cast<Search*>(param);
              std::string text = LowerCase(WindowText(child));
              for (const std::string& one : *search->tails)
                if (text.ends_with(LowerCase(one)))
                  search->found = one;
              return search->found.empty();
            },
            reinterpret_cast<LPARAM>(&search));
        tail = search.found;
      }
      if (tail.empty() && program.WaitForExit(50))
        break;
    }
    if (tail.empty())
      return ::testing::AssertionFailure() << "no alert for " << testing::PrintToString(tails);
    if (!Answer(alert, button))
      return ::testing::AssertionFailure() << "cannot answer the alert about " << tail;
    tails.erase(tails.find(tail));
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

// "/r" mutes every undecided entry; "/s" writes its quoted autostart values, puts the
// entries back and asks about each: Allow, Block and Block Forever pressed, one
// countdown left to run out. Afterwards the registry, the pss folder, the msconfig
// backups, the lists and the logs say what was decided.
TEST_F(GuardRunTest, TheSingleScanMutesAndTheGuardAsksAboutEachEntry) {
  const std::string keeper = Program("keeper.exe");
  const std::string pest = Program("pest.exe");
  const std::string worm = Program("worm.exe");
  const std::string tray = Program("tray.exe");
  WriteRegValue(kHkcuRun, "RwE2E Keeper", "\"" + keeper + "\" /tray");
  WriteRegValue(kHklmRun, "RwE2E Pest", pest);
  WriteRegValue(kHkcuRun, "RwE2E Worm", worm + " -run");
  const std::string link = AddStartupShortcut("RwE2E Tray", tray);
  const std::string muted_link = PssFolder() + "\\RwE2E Tray.lnk";
  DeleteFileA(muted_link.c_str());
  // The worm runs: blocking it for ever ends it.
  ASSERT_NE(platform::StartProgram("\"" + worm + "\" 60", platform::StartWindow::kHidden), 0u);
  ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("worm.exe"); }));

  {
    RunningProgram once(kQuotedExe + " /r");
    ASSERT_TRUE(once.started());
    DWORD exit_code = 1;
    ASSERT_TRUE(once.WaitForExit(kTimeoutMs, &exit_code));
    EXPECT_EQ(exit_code, 0u);
  }
  // Every entry waits in the Muted key; nothing was asked or written for the guard.
  EXPECT_FALSE(HasValue(kHkcuRun, "RwE2E Keeper"));
  EXPECT_FALSE(HasValue(kHklmRun, "RwE2E Pest"));
  EXPECT_FALSE(HasValue(kHkcuRun, "RwE2E Worm"));
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(Exists(muted_link));
  EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 4);
  EXPECT_FALSE(HasValue(kHklmRun, "Runwarden"));
  EXPECT_FALSE(HasValue(kHklmRunOnce, "Runwarden"));
  EXPECT_TRUE(IsProcessRunning("worm.exe"));

  RunningProgram guard(kQuotedExe + " /s");
  ASSERT_TRUE(guard.started());
  std::map<std::string, std::wstring> press = {
      {"RwE2E Keeper", L"&Allow"}, {"RwE2E Pest", L"&Block"}, {"RwE2E Worm", L"Block &Forever"}};
  std::set<std::string> waiting = {"RwE2E Keeper", "RwE2E Pest", "RwE2E Worm", "RwE2E Tray"};
  std::vector<std::string> asked;
  bool countdown_seen = false;
  while (!waiting.empty()) {
    HWND alert = nullptr;
    std::string name = WaitForAlertAbout(guard, waiting, &alert, kTimeoutMs);
    if (name.empty()) {
      DWORD code = 0;
      bool ended = guard.WaitForExit(0, &code);
      FAIL() << "no alert for " << testing::PrintToString(waiting) << "; asked "
             << testing::PrintToString(asked) << "; the guard " << (ended ? "ended with " : "runs ")
             << code << "\nlog:" << EventLog() << "\nerrors:" << ReadFile(kFolder + "\\errlog.log");
    }
    asked.push_back(name);
    waiting.erase(name);
    if (asked.size() == 1) {
      // By the first question the guard has written its values and put everything back.
      EXPECT_EQ(ReadRegValue(kHklmRun, "Runwarden", ""), kQuotedExe + " /s");
      EXPECT_EQ(ReadRegValue(kHklmRunOnce, "Runwarden", ""), kQuotedExe + " /r");
      EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 0);
      EXPECT_TRUE(Exists(link));
      EXPECT_EQ(ReadRegValue(kHkcuRun, "RwE2E Worm", ""), worm + " -run");
    }
    if (name == "RwE2E Tray") {
      // Left alone: the countdown runs (its line is a real window text) and blocks.
      countdown_seen = WaitUntil([&] {
        return FindDescendant(alert, L"Static", L"Auto blocking in 25 seconds...") != nullptr;
      });
      continue;
    }
    EXPECT_TRUE(Answer(alert, press[name])) << name;
  }
  EXPECT_TRUE(countdown_seen);
  DWORD exit_code = 1;
  ASSERT_TRUE(guard.WaitForExit(kCountdownTimeoutMs, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  // The order of the locations: the machine's Run key, the user's, the Startup folders.
  EXPECT_EQ(asked.front(), "RwE2E Pest");
  EXPECT_EQ(asked.back(), "RwE2E Tray");

  // Allow: back in place and listed with its digest.
  EXPECT_EQ(ReadRegValue(kHkcuRun, "RwE2E Keeper", ""), "\"" + keeper + "\" /tray");
  std::string allowed = ReadRegValue(kSettingsKey, "Allowed", "");
  EXPECT_EQ(allowed.rfind("<#>" + LowerCase(keeper) + "<#>", 0), 0u) << allowed;
  EXPECT_EQ(allowed.size(), 3 + keeper.size() + 3 + 32) << allowed;
  // Block: gone, with the backup msconfig restores it from (its fields are the unit
  // tests' business); not listed.
  EXPECT_FALSE(HasValue(kHklmRun, "RwE2E Pest"));
  EXPECT_EQ(ReadRegValue(std::string(kStartupRegBackupKey) + "\\RwE2E Pest", "command", ""), pest);
  // Block Forever: gone, backed up, listed, and its running process ended.
  EXPECT_FALSE(HasValue(kHkcuRun, "RwE2E Worm"));
  EXPECT_EQ(ReadRegValue(std::string(kStartupRegBackupKey) + "\\RwE2E Worm", "command", ""),
            worm + " -run");
  std::string blocked = ReadRegValue(kSettingsKey, "Blocked", "");
  EXPECT_EQ(blocked.rfind("<#>" + LowerCase(worm) + "<#>", 0), 0u) << blocked;
  EXPECT_EQ(blocked.find("pest"), std::string::npos) << blocked;
  EXPECT_TRUE(WaitUntil([] { return !IsProcessRunning("worm.exe"); }));
  // The countdown's block: the shortcut waits in the pss folder, named in its backup.
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(Exists(muted_link));
  std::string caret_path = link;
  for (char& c : caret_path)
    if (c == '\\')
      c = '^';
  const std::string tray_backup = std::string(kStartupFolderBackupKey) + "\\" + caret_path;
  EXPECT_EQ(ReadRegValue(tray_backup, "backup", ""), muted_link);
  EXPECT_EQ(ReadRegValue(tray_backup, "command", ""), tray);
  EXPECT_EQ(EnumRegValues(kMutedKey).Count(), 0);

  EXPECT_NE(EventLog().find("\tBlocked File '" + LowerCase(worm) + "'"), std::string::npos);
  EXPECT_EQ(ReadFile(kFolder + "\\errlog.log"), "");
}

// A guard whose settings were found changed stays resident: the red notice once, then a
// pass every 5 seconds that sees a new entry; it ends cleanly when the session ends.
TEST_F(GuardRunTest, AResidentGuardKeepsPassingAndEndsWithTheSession) {
  WriteRegValue(kSettingsKey, "ALERT", "1");
  RunningProgram guard(kQuotedExe + " /s");
  ASSERT_TRUE(guard.started());
  const std::wstring notice =
      L"Found a setting change and fixed some of them! It might be a spyware or harmful file in "
      L"your system. Please scan your computer with a antivirus and antispyware!";
  HWND shown = WaitForNotice(guard, notice);
  ASSERT_NE(shown, nullptr);
  // About 31 seconds on screen, then it slides away and is unloaded.
  DWORD start = GetTickCount();
  while (IsWindow(shown) && GetTickCount() - start < kCountdownTimeoutMs)
    Sleep(200);
  ASSERT_FALSE(IsWindow(shown));
  EXPECT_FALSE(guard.WaitForExit(0));

  // The next pass finds a new entry.
  WriteRegValue(kHkcuRun, "RwE2E Keeper", Program("keeper.exe"));
  HWND alert = nullptr;
  ASSERT_EQ(WaitForAlertAbout(guard, {"RwE2E Keeper"}, &alert, kTimeoutMs), "RwE2E Keeper");
  ASSERT_TRUE(Answer(alert, L"&Allow"));
  EXPECT_FALSE(guard.WaitForExit(0));

  // Logoff: the hidden window that listens for it answers at once, and the guard ends.
  HWND listener = nullptr;
  for (HWND window = FindWindowExW(nullptr, nullptr, L"RunwardenSession", nullptr); window;
       window = FindWindowExW(nullptr, window, L"RunwardenSession", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == guard.id())
      listener = window;
  }
  ASSERT_NE(listener, nullptr);
  DWORD_PTR answer = 0;
  ASSERT_NE(SendMessageTimeoutW(listener, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK,
                                1000, &answer),
            0)
      << "the guard did not answer within a second";
  EXPECT_EQ(answer, TRUE);
  SendMessageTimeoutW(listener, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer);
  DWORD exit_code = 1;
  ASSERT_TRUE(guard.WaitForExit(kTimeoutMs, &exit_code));
  EXPECT_EQ(exit_code, 0u);
}

// Every logon and boot technique of the table planted as an attacker plants it: "/r"
// takes each out so that it cannot start, and logon still works; "/s" puts each back and
// asks about it. Allowed, it stays exactly as planted. Blocked at the next logon, it is
// gone with a backup the Blocked Entries window lists, and restored from it as planted.
TEST_F(GuardRunTest, EachLogonTechniqueIsMutedAskedAboutAndPutBackAsPlanted) {
  std::vector<Technique> techniques = Techniques([&](const std::string& tag) {
    if (tag.find('.') == std::string::npos) {
      CreateDirectoryA(programs_.File(tag).c_str(), nullptr);
      return programs_.File(tag);
    }
    if (tag.substr(tag.size() - 4) == ".exe")
      return Program(tag);
    return programs_.Write(tag, "rw " + tag);
  });
  std::multiset<std::string> tails;  // a name in both Startup folders ends two commands alike
  for (const Technique& t : techniques)
    tails.insert(t.command.size() > 40 ? t.command.substr(t.command.size() - 40) : t.command);
  OwnTechniquePlaces(sandbox_, techniques);
  ASSERT_TRUE(Plant(techniques));
  auto logon = [&](const std::wstring& button) {
    {
      RunningProgram once(kQuotedExe + " /r");
      ASSERT_TRUE(once.WaitForExit(kTimeoutMs));
    }
    for (const Technique& technique : techniques) {
      platform::RegData data;
      bool there = technique.kind == kKindFile ? Exists(technique.location)
                                               : ReadRegRaw(technique.key, technique.value, &data);
      if (technique.kind == kKindRegistry || technique.kind == kKindFile)
        EXPECT_FALSE(there) << technique.name;
      else if (technique.kind == kKindListItem)
        EXPECT_FALSE(there && HasListItem(ListItems(data, ListFormOf(technique.value, data.type)),
                                          technique.command))
            << technique.name;
      else
        EXPECT_EQ(data.bytes, DefaultStartupFolderText(technique.value) + '\0') << technique.name;
    }
    // Logon still works.
    for (const char* key : {kWinlogonKey, kUserWinlogonKey}) {
      platform::RegData shell, userinit;
      ASSERT_TRUE(ReadRegRaw(key, "Shell", &shell));
      ASSERT_TRUE(ReadRegRaw(key, "Userinit", &userinit));
      EXPECT_TRUE(HasListItem(ListItems(shell, ListForm::kComma), "explorer.exe")) << key;
      EXPECT_TRUE(HasListItem(ListItems(userinit, ListForm::kComma), "userinit.exe")) << key;
    }
    RunningProgram guard(kQuotedExe + " /s");
    EXPECT_TRUE(AnswerEach(guard, tails, button)) << "log:" << EventLog();
    ASSERT_TRUE(guard.WaitForExit(kTimeoutMs));
  };

  logon(L"&Allow");
  EXPECT_TRUE(AsPlanted(techniques));
  EXPECT_FALSE(HasMutedRecords(kMutedKey));
  {
    // Allowed, they stay at the next logon (a moved folder stays moved).
    RunningProgram once(kQuotedExe + " /r");
    ASSERT_TRUE(once.WaitForExit(kTimeoutMs));
  }
  EXPECT_TRUE(AsPlanted(techniques));

  WriteRegValue(kSettingsKey, "Allowed", "");
  logon(L"&Block");
  std::multiset<std::pair<BackupStore, std::string>> expected, found;
  for (const Technique& technique : techniques)
    expected.emplace(technique.store, LowerCase(technique.location));
  for (const BlockedBackup& backup : ListBlockedBackups()) {
    found.emplace(backup.store, LowerCase(backup.location));
    std::string problem;
    EXPECT_TRUE(RestoreBlockedBackup(backup, &problem)) << backup.location << ": " << problem;
  }
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(AsPlanted(techniques));
  EXPECT_EQ(ReadFile(kFolder + "\\errlog.log"), "");
}

// A clean Windows keeps its own programs in these places: "/r" run as Windows runs it
// changes nothing there and sets nothing aside.
TEST_F(GuardRunTest, TheSingleScanLeavesACleanWindowsAsItIs) {
  OwnTechniquePlaces(sandbox_, Techniques([](const std::string& tag) { return tag; }));
  ASSERT_TRUE(PlantCleanWindows());
  RunningProgram once(kQuotedExe + " /r");
  ASSERT_TRUE(once.WaitForExit(kTimeoutMs));
  for (const CleanValue& clean : CleanWindowsValues()) {
    platform::RegData data;
    EXPECT_TRUE(ReadRegRaw(clean.key, clean.value, &data) && data == clean.data)
        << clean.key << "\\" << clean.value;
  }
  EXPECT_FALSE(HasMutedRecords(kMutedKey));
  EXPECT_EQ(ReadFile(kFolder + "\\errlog.log"), "");
}
