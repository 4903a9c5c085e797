// The scan pass, one case per outcome a user can tell apart: allowed, blocked for ever,
// blocked, a missing file, a harmful file (with and without termination), the single
// scan's muting, the program's own entry, and the error prompt. The alert is a stand-in
// that answers as told (the real one answers in the last test); the registry, the files
// and the logs are real.
#include "guard/Scan.h"

#include <gtest/gtest.h>

#include "app/AppInfo.h"
#include "app/Settings.h"
#include "app/ShortPath.h"
#include "app/TextFunctions.h"
#include "guard/Blocking.h"
#include "guard/Md2.h"
#include "guard/ProcessKill.h"
#include "guard/Rating.h"
#include "guard/RuleLists.h"
#include "main/ProgramModes.h"
#include "net/ServerAddress.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sound.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/LoopbackPeer.h"
#include "support/Programs.h"
#include "support/ScanMachine.h"
#include "ui/AlertWindow.h"

namespace {

const std::string kNoPreRules = "[Nothing]\r\nF=nothing.exe\r\n";

std::string RegBackup(const std::string& name) {
  return std::string(kStartupRegBackupKey) + "\\" + name;
}

const AlertCall* AlertFor(const AlertStandIn& alert, const std::string& name) {
  for (const AlertCall& call : alert.alerts)
    if (call.entry.Name == name)
      return &call;
  return nullptr;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ScanTest : public ::testing::Test {
 protected:
  ScanTest() { machine_.WriteRules(kNoPreRules, ""); }

  void Scan() { ScanStartup(alert_.Windows()); }
  void GuardScan() {
    GuardMode = true;
    Scan();
  }

  ScanMachine machine_;
  AlertStandIn alert_;
  MessageBoxRecorder boxes_;
};

}  // namespace

TEST_F(ScanTest, TheAnswersAreCarriedOutAndRemembered) {
  std::string keeper = machine_.Program("Keeper.exe", "keeper bytes");
  std::string pest = machine_.Program("pest.exe", "pest bytes");
  std::string worm = machine_.Program("worm.exe", "worm bytes");
  std::string tray = machine_.Program("tray.exe", "tray bytes");
  machine_.WriteRules("[Keeper]\r\nF=KEEPER.EXE\r\nC=Y\r\nD=Keeps things\r\n", "");
  machine_.AddRunValue("Keeper", "\"" + keeper + "\" /min");
  machine_.AddRunValue("Pest", pest);
  machine_.AddRunValue("Worm", worm + " -run");
  std::string link = machine_.AddStartupShortcut("Tray", tray);
  // The program's own entry, as the guard writes it, in another case: never asked about.
  const std::string own = "\"" + UpperCase(machine_.Program()) + "\" /s";
  machine_.AddRunValue("Runwarden", own);
  alert_.answers = {{"Keeper", Answer::kAllow},
                    {"Pest", Answer::kBlock},
                    {"Worm", Answer::kBlockForever},
                    {"Tray", Answer::kBlock}};

  GuardScan();

  std::string asked_about;
  for (const AlertCall& call : alert_.alerts)
    asked_about += " " + call.entry.Location + "\\" + call.entry.Name;
  ASSERT_EQ(alert_.alerts.size(), 4u) << asked_about;
  const AlertCall* asked = AlertFor(alert_, "Keeper");
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(asked->entry, (StartupEntry{"Keeper", "\"" + keeper + "\" /min", kHkcuRun, "1"}));
  EXPECT_TRUE(asked->with_timer);
  EXPECT_EQ(asked->code, "Y");
  EXPECT_EQ(asked->rating_text, "Keeps things");
  EXPECT_EQ(LowerCase(asked->file_name), "keeper.exe");
  EXPECT_EQ(asked->hash, Md2Hex("keeper bytes"));
  ASSERT_NE(AlertFor(alert_, "Tray"), nullptr);
  EXPECT_EQ(AlertFor(alert_, "Tray")->code, "?");
  EXPECT_EQ(AlertFor(alert_, "Tray")->rating_text, "Unknown File");

  // Allow: listed by path and digest, logged, left in place.
  const std::string keeper_file = LowerCase(keeper);
  const std::string worm_file = LowerCase(worm);
  EXPECT_EQ(GetAllowedList(), "<#>" + keeper_file + "<#>" + Md2Hex("keeper bytes"));
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Keeper", ""), "\"" + keeper + "\" /min");
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Runwarden", ""), own);
  // Block Forever: listed, logged, removed with its backup.
  EXPECT_EQ(GetBlockedList(), "<#>" + worm_file + "<#>" + Md2Hex("worm bytes"));
  EXPECT_FALSE(HasValue(kHkcuRun, "Worm"));
  EXPECT_EQ(ReadRegValue(RegBackup("Worm"), "command", ""), worm + " -run");
  // Block: removed with its backup, nothing listed or logged.
  EXPECT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_EQ(ReadRegValue(RegBackup("Pest"), "command", ""), pest);
  EXPECT_FALSE(platform::FileSize(link) >= 0);

  std::string log = machine_.EventLog();
  EXPECT_TRUE(Contains(log, "\tAllowed File '" + keeper_file + "'")) << log;
  EXPECT_TRUE(Contains(log, "\tBlocked File '" + worm_file + "'")) << log;
  EXPECT_FALSE(Contains(log, "pest")) << log;
  EXPECT_EQ(machine_.ErrorLog(), "");
  EXPECT_TRUE(alert_.notices.empty());  // nothing harmful

  // Next time: the allowed entry is not asked about, the one blocked for ever is removed
  // again without a word when it comes back, and a plain Block is asked about again.
  alert_.alerts.clear();
  machine_.AddRunValue("Worm", worm + " -again");
  machine_.AddRunValue("Pest", pest);
  GuardScan();
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_EQ(alert_.alerts[0].entry.Name, "Pest");
  EXPECT_FALSE(HasValue(kHkcuRun, "Worm"));
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Keeper", ""), "\"" + keeper + "\" /min");
  EXPECT_EQ(GetBlockedList(), "<#>" + worm_file + "<#>" + Md2Hex("worm bytes"));
  EXPECT_EQ(machine_.EventLog(), log);
}

// A missing file is blocked without asking, and not listed: it has nothing to be known by.
// With that option off it is asked about, with no digest. The lists are looked up by
// digest (the default), so a renamed copy is still known, or by path: the Allowed list
// with case, the Blocked list without.
TEST_F(ScanTest, AMissingFileIsBlockedUnlistedAndListsAreLookedUpByDigestOrPath) {
  machine_.AddRunValue("Ghost", "C:\\gone\\Ghost.exe /tray");
  GuardScan();
  EXPECT_TRUE(alert_.alerts.empty());
  EXPECT_FALSE(HasValue(kHkcuRun, "Ghost"));
  EXPECT_TRUE(Contains(machine_.EventLog(), "\tBlocked File Not Exists 'c:\\gone\\ghost.exe'"))
      << machine_.EventLog();
  EXPECT_EQ(GetBlockedList(), "");

  std::string copy = machine_.Program("renamed.exe", "known bytes");
  WriteRegValue(kSettingsKey, "Allowed", "<#>C:\\elsewhere\\known.exe<#>" + Md2Hex("known bytes"));
  machine_.AddRunValue("Known", copy);
  machine_.AddRunValue("Ghost", "C:\\gone\\Ghost.exe /tray");
  machine_.SetOption("chkAuto_Block(4)", "0");
  alert_.answers = {{"Ghost", Answer::kAllow}};
  GuardScan();
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_EQ(alert_.alerts[0].entry.Name, "Ghost");
  EXPECT_EQ(alert_.alerts[0].code, "?");
  EXPECT_EQ(alert_.alerts[0].rating_text, "Unknown File");
  EXPECT_EQ(alert_.alerts[0].hash, "");
  EXPECT_TRUE(HasValue(kHkcuRun, "Ghost"));
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Known", ""), copy);

  machine_.SetOption("chkBlock_Detection(3)", "0");
  std::string near = machine_.Program("near.exe", "near bytes");
  std::string upper = machine_.Program("upper.exe", "upper bytes");
  std::string blocked = machine_.Program("blocked.exe", "blocked bytes");
  WriteRegValue(kSettingsKey, "Allowed", "<#>" + UpperCase(upper) + "<#>" + Md2Hex("upper bytes"));
  WriteRegValue(kSettingsKey, "Blocked", "<#>" + UpperCase(blocked) + "<#>");
  for (const char* name : {"Known", "Ghost"})
    DeleteRegValueNamed(kHkcuRun, name);
  machine_.AddRunValue("Near", near);
  // The same file once more: allowed with the first, it is not asked about again.
  machine_.AddRunValue("Near too", near + " /again");
  machine_.AddRunValue("Upper", upper);
  machine_.AddRunValue("Blocked", blocked);
  alert_.alerts.clear();
  alert_.answers = {{"Upper", Answer::kAllow}, {"Near", Answer::kAllow}};
  GuardScan();
  ASSERT_EQ(alert_.alerts.size(), 2u);
  EXPECT_NE(AlertFor(alert_, "Upper"), nullptr);
  EXPECT_NE(AlertFor(alert_, "Near"), nullptr);
  EXPECT_FALSE(HasValue(kHkcuRun, "Blocked"));
  // Already listed: not listed again and not logged.
  EXPECT_EQ(GetBlockedList(), "<#>" + UpperCase(blocked) + "<#>");
  EXPECT_FALSE(Contains(machine_.EventLog(), "\tBlocked File '")) << machine_.EventLog();
}

TEST_F(ScanTest, AHarmfulFileIsBlockedForEverAndTheNoticeSaysWhetherItStillRuns) {
  platform::RecordPlayedSoundsForTesting(true);
  std::string bytes = SleeperBytes();
  std::string evil = machine_.Program("evil.exe", bytes);
  std::string hash = Md2Hex(bytes);
  machine_.WriteRules(kNoPreRules, "[" + hash + "]\r\nname=Trojan.Foo\r\n");
  auto start_evil = [&](int seconds) {
    ASSERT_NE(StartSleeper(evil, seconds), 0u);
    ASSERT_TRUE(WaitUntil([] { return IsProcessRunning("evil.exe"); }));
  };

  // Still running after the copies had their time (none of them can end it here): red.
  start_evil(60);
  machine_.AddRunValue("Evil", evil);
  {
    ManualClock clock;  // the wait for the copies costs no time
    GuardScan();
  }
  EXPECT_TRUE(alert_.alerts.empty());
  EXPECT_FALSE(HasValue(kHkcuRun, "Evil"));
  EXPECT_EQ(GetBlockedList(), "<#>" + LowerCase(evil) + "<#>" + hash);
  std::string log = machine_.EventLog();
  EXPECT_TRUE(Contains(log, "\tBlocked Harmful File '" + LowerCase(evil) + "'")) << log;
  EXPECT_TRUE(Contains(log, "\tBlocked File '" + LowerCase(evil) + "'")) << log;
  ASSERT_EQ(alert_.notices.size(), 1u);
  EXPECT_EQ(alert_.notices[0].message,
            "A harmful file instance has been blocked but cannot be terminated! More info : "
            "Trojan.Foo");
  EXPECT_EQ(alert_.notices[0].color, 255u);
  EXPECT_EQ(platform::TakePlayedSoundsForTesting(),
            std::vector<std::string>{machine_.folder().File("detection.wav")});
  KillProcessByFile("evil.exe");
  WaitUntil([] { return !IsProcessRunning("evil.exe"); });

  // Ended within the time the copies get (here it ends by itself a second later): blue.
  start_evil(1);
  machine_.AddRunValue("Evil", evil);
  GuardScan();
  ASSERT_EQ(alert_.notices.size(), 2u);
  EXPECT_EQ(alert_.notices[1].message,
            "A harmful file has been blocked sucessfully. Logoff/Restart to block it completely! "
            "More info : Trojan.Foo");
  EXPECT_EQ(alert_.notices[1].color, 16711680u);
  EXPECT_FALSE(HasValue(kHkcuRun, "Evil"));

  // Without termination it goes silently, with its log line.
  machine_.SetOption("chkTerminate_(2)", "0");
  machine_.AddRunValue("Evil", evil);
  platform::TakePlayedSoundsForTesting();
  GuardScan();
  EXPECT_EQ(alert_.notices.size(), 2u);
  EXPECT_TRUE(platform::TakePlayedSoundsForTesting().empty());
  EXPECT_FALSE(HasValue(kHkcuRun, "Evil"));

  // Without automatic blocking of harmful files the user is asked, with the rule file's
  // rating of the entry, not "X".
  machine_.SetOption("chkAuto_Block(5)", "0");
  WriteRegValue(kSettingsKey, "Blocked", "");
  machine_.AddRunValue("Evil", evil);
  GuardScan();
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_EQ(alert_.alerts[0].code, "?");
  EXPECT_EQ(alert_.alerts[0].rating_text, "Unknown File");
  EXPECT_EQ(alert_.alerts[0].hash, hash);
  platform::RecordPlayedSoundsForTesting(false);
}

// A file that is hidden and system at once is there like any other: hashed, and blocked
// for ever as harmful with the notice that follows termination. Only a file that is not
// there is "Not Exists".
TEST_F(ScanTest, AHiddenSystemFileIsThereLikeAnyOther) {
  std::string hidden = machine_.Program("hidden.exe", "hidden bytes");
  ASSERT_TRUE(platform::WriteAttributes(hidden, platform::kAttrHidden | platform::kAttrSystem));
  machine_.WriteRules(kNoPreRules, "[" + Md2Hex("hidden bytes") + "]\r\nname=Trojan.Hidden\r\n");
  machine_.AddRunValue("Hidden", hidden + " /q");
  {
    ManualClock clock;  // the wait for the copies costs no time
    GuardScan();
  }
  EXPECT_FALSE(HasValue(kHkcuRun, "Hidden"));
  EXPECT_EQ(GetBlockedList(), "<#>" + LowerCase(hidden) + "<#>" + Md2Hex("hidden bytes"));
  ASSERT_EQ(alert_.notices.size(), 1u);
  EXPECT_EQ(alert_.notices[0].color, kNoticeBlue);
  std::string log = machine_.EventLog();
  EXPECT_TRUE(Contains(log, "\tBlocked Harmful File '" + LowerCase(hidden) + "'")) << log;
  EXPECT_FALSE(Contains(log, "Not Exists")) << log;
  EXPECT_GE(platform::FileSize(hidden), 0);
}

// A script host is known by what it runs. Allowing "cmd /c echo" allows that command
// only, not a script run the same way; a record made before, holding the host's own
// digest, no longer lets its entries pass, while other files' records keep their meaning.
TEST_F(ScanTest, AScriptHostsEntriesAreKnownByWhatTheyRun) {
  platform::CreateFolder(machine_.Windir() + "\\system32");
  std::string cmd = machine_.folder().Write("windows\\system32\\cmd.exe", "cmd bytes");
  std::string keeper = machine_.Program("keeper.exe", "keeper bytes");
  std::string evil = machine_.Program("evil.bat", "evil bytes");
  WriteRegValue(kSettingsKey, "Allowed",
                "<#>" + LowerCase(cmd) + "<#>" + Md2Hex("cmd bytes") + "<#>" + LowerCase(keeper) +
                    "<#>" + Md2Hex("keeper bytes"));
  machine_.AddRunValue("Keeper", keeper);
  machine_.AddRunValue("Echo", "cmd.exe /c echo hello");
  alert_.answers = {{"Echo", Answer::kAllow}};
  GuardScan();
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_EQ(alert_.alerts[0].entry.Name, "Echo");

  machine_.AddRunValue("Evil", "cmd.exe /c " + evil);
  alert_.alerts.clear();
  alert_.answers = {{"Evil", Answer::kBlockForever}};
  GuardScan();
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_EQ(alert_.alerts[0].entry.Name, "Evil");
  EXPECT_FALSE(HasValue(kHkcuRun, "Evil"));
  EXPECT_EQ(GetBlockedList(), "<#>" + LowerCase(evil) + "<#>" + Md2Hex("evil bytes"));

  // The script, however it is started, is known; the allowed command stays allowed.
  machine_.AddRunValue("Evil", "cmd /q /k \"" + evil + "\"");
  alert_.alerts.clear();
  GuardScan();
  EXPECT_TRUE(alert_.alerts.empty());
  EXPECT_FALSE(HasValue(kHkcuRun, "Evil"));
  EXPECT_TRUE(HasValue(kHkcuRun, "Echo"));

  // A host file whose own digest is harmful is blocked as itself, and its processes ended.
  machine_.WriteRules(kNoPreRules, "[" + Md2Hex("cmd bytes") + "]\r\nname=Trojan.Cmd\r\n");
  DeleteRegKey(kCachedKey);
  {
    ManualClock clock;  // the wait for the copies costs no time
    GuardScan();
  }
  EXPECT_FALSE(HasValue(kHkcuRun, "Echo"));
  EXPECT_EQ(GetBlockedList(), "<#>" + LowerCase(evil) + "<#>" + Md2Hex("evil bytes") + "<#>" + cmd +
                                  "<#>" + Md2Hex("cmd bytes"));
  ASSERT_EQ(alert_.notices.size(), 1u);
}

// The single scan at logon asks nothing: undecided entries are muted (with a repair of
// the system settings for each), listed ones are handled as listed, nothing is rated.
TEST_F(ScanTest, TheSingleScanMutesUndecidedEntriesAndAsksNothing) {
  SystemValuesGuard system_values;
  ScopedVersion five(5);
  std::string pest = machine_.Program("pest.exe", "pest bytes");
  std::string worm = machine_.Program("worm.exe", "worm bytes");
  std::string keeper = machine_.Program("keeper.exe", "keeper bytes");
  std::string tray = machine_.Program("tray.exe", "tray bytes");
  WriteRegValue(kSettingsKey, "Allowed",
                "<#>" + LowerCase(keeper) + "<#>" + Md2Hex("keeper bytes"));
  WriteRegValue(kSettingsKey, "Blocked", "<#>" + LowerCase(worm) + "<#>" + Md2Hex("worm bytes"));
  machine_.AddRunValue("Pest", pest + " /bg");
  machine_.AddRunValue("Worm", worm);
  machine_.AddRunValue("Keeper", keeper);
  std::string link = machine_.AddStartupShortcut("Tray", tray);
  WriteRegValue(kWinlogon, "uihost", "evil.exe");
  // The program's own entries, in another letter case or in 8.3 form, are never touched.
  machine_.folder().Write("Runwarden.exe", "MZ");
  const std::string own = "\"" + UpperCase(machine_.Program()) + "\" /s";
  const std::string short_own = GetShortPath(machine_.Program()) + " /r";
  machine_.AddRunValue("Runwarden", own);
  WriteRegValue(kHklmRunOnce, "Runwarden", short_own);

  RunOnceMode = true;
  Scan();

  EXPECT_TRUE(alert_.alerts.empty());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(ReadRegValue(kMutedKey, std::string(kHkcuRun) + "\\Pest", ""), pest + " /bg");
  EXPECT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_EQ(ReadRegValue(kMutedKey, link, ""), machine_.Pss() + "\\Tray.lnk");
  EXPECT_FALSE(platform::FileSize(link) >= 0);
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Keeper", ""), keeper);
  EXPECT_FALSE(HasValue(kHkcuRun, "Worm"));
  EXPECT_EQ(ReadRegValue(RegBackup("Worm"), "command", ""), worm);
  EXPECT_FALSE(HasValue(kMutedKey, std::string(kHkcuRun) + "\\Worm"));
  EXPECT_EQ(EnumRegValues(kCachedKey).Count(), 0);
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Runwarden", ""), own);
  EXPECT_EQ(ReadRegValue(kHklmRunOnce, "Runwarden", ""), short_own);
  // The first repair found the logon UI taken over, the second found it good again.
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "%windir%\\resources\\logon\\logonui.exe");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "ALERT", ""), "0");

  // Nothing left to mute: no repair at all.
  WriteRegValue(kWinlogon, "uihost", "evil.exe");
  Scan();
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "evil.exe");
  EXPECT_EQ(ValueNames(kMutedKey).size(), 2u);
}

// The digests of a pass are taken before its walk; an entry whose file an earlier
// entry's block took away meanwhile is still handled as one without a file.
TEST_F(ScanTest, AFileTakenAwayEarlierInThePassHasNoDigest) {
  machine_.SetOption("chkAuto_Block(4)", "0");
  std::string common = machine_.folder().File("Startup24");
  std::string helper = machine_.folder().Write("Startup24\\helper.exe", "helper bytes");
  WriteRegValue(kSettingsKey, "Blocked",
                "<#>" + LowerCase(helper) + "<#>" + Md2Hex("helper bytes"));
  // The user's shortcut to the same file comes later: the common folder is walked first.
  machine_.AddStartupShortcut("Helper", helper);
  alert_.answers = {{"Helper", Answer::kAllow}};
  GuardScan();
  EXPECT_FALSE(platform::FileSize(helper) >= 0);
  EXPECT_TRUE(platform::FileSize(machine_.Pss() + "\\helper.exe") >= 0);
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_EQ(alert_.alerts[0].entry.Name, "Helper");
  EXPECT_EQ(alert_.alerts[0].hash, "");
}

// A scheduled task is known by its path even when lists are matched by digest: the
// scheduler writes into a job file at every run, so its digest does not last.
TEST_F(ScanTest, ATaskIsLookedUpByItsPath) {
  ScopedVersion five(5);  // the tasks folder is watched on version 5
  platform::CreateFolder(machine_.Windir() + "\\tasks");
  std::string job = machine_.folder().Write("windows\\tasks\\Update.job", "job bytes");
  machine_.folder().Write("windows\\tasks\\Other.job", "job bytes");
  // Listed by its path alone; the other job, with the same bytes, is not listed.
  WriteRegValue(kSettingsKey, "Allowed", "<#>" + LowerCase(job) + "<#>");
  GuardScan();
  ASSERT_EQ(alert_.alerts.size(), 1u);
  EXPECT_EQ(LowerCase(alert_.alerts[0].file_name), "other.job");
  EXPECT_EQ(alert_.alerts[0].hash, Md2Hex("job bytes"));
  EXPECT_TRUE(platform::FileSize(job) >= 0);
}

// A pass that fails (here: the user's Run key refuses changes) reports the error once at
// its end, naming the entry. Without "Send Errors" it is logged and the user is asked to
// send errlog.log, until they answer Cancel; the single scan never asks.
TEST_F(ScanTest, AnErrorIsLoggedAndTheUserAskedToSendTheLogUntilTheyDecline) {
  machine_.SetOption("chkSend_Errors(7)", "0");
  std::string pest = machine_.Program("pest.exe", "pest bytes");
  std::string keeper = machine_.Program("keeper.exe", "keeper bytes");
  machine_.AddRunValue("Pest", pest + " /bg");
  machine_.AddRunValue("Keeper", keeper);
  alert_.answers = {{"Keeper", Answer::kAllow}};
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, true);

  GuardScan();
  EXPECT_EQ(alert_.alerts.size(), 2u);  // the pass went on after the failure
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Pest", ""), pest + " /bg");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].title, "Please send error report!");
  EXPECT_EQ(boxes_[0].style, platform::kMbOkCancel);
  EXPECT_EQ(boxes_[0].text,
            "Error : Cannot block the entry 'Pest'\r\nRunwarden got an error! You have selected "
            "not to send error logs, Please send the file : 'errlog.log', found in application "
            "dir, to " +
                SupportEmailAddress() + "!\r\n\r\nDo you want to see this message again?");
  EXPECT_NE(SupportEmailAddress().find('@'), std::string::npos);
  // The line names the failed entry's command, not the last entry's.
  std::vector<std::string> reports;
  for (const std::string& line : SplitText(machine_.ErrorLog(), "\r\n"))
    if (Contains(line, "Cannot block the entry 'Pest' "))
      reports.push_back(line);
  ASSERT_EQ(reports.size(), 1u) << machine_.ErrorLog();
  EXPECT_EQ(reports[0].substr(reports[0].size() - (pest + " /bg").size()), pest + " /bg");
  EXPECT_TRUE(alert_.reports.empty());

  // OK keeps the prompt; Cancel turns it off for good.
  GuardScan();
  EXPECT_EQ(boxes_.size(), 2u);
  boxes_.answer = platform::kIdCancel;
  GuardScan();
  EXPECT_EQ(boxes_.size(), 3u);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "ShowErr", ""), "0");
  std::string before = machine_.ErrorLog();
  GuardScan();
  EXPECT_EQ(boxes_.size(), 3u);
  EXPECT_GT(machine_.ErrorLog().size(), before.size());

  // The single scan logs and never asks, whatever ShowErr says.
  WriteRegValue(kSettingsKey, "ShowErr", "1");
  RunOnceMode = true;
  GuardMode = false;
  Scan();
  EXPECT_EQ(boxes_.size(), 3u);
  EXPECT_TRUE(Contains(machine_.ErrorLog(), "Cannot mute the entry 'Pest' "));
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, false);
}

TEST_F(ScanTest, WithSendErrorsOnTheReportIsSentInsteadOfLoggedOrPrompted) {
  std::string pest = machine_.Program("pest.exe", "pest bytes");
  machine_.AddRunValue("Pest", pest);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, true);
  GuardScan();
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, false);
  EXPECT_TRUE(boxes_.empty());
  ASSERT_EQ(alert_.reports.size(), 1u);
  EXPECT_TRUE(Contains(alert_.reports[0], " Cannot block the entry 'Pest' ")) << alert_.reports[0];
  EXPECT_EQ(alert_.reports[0].substr(alert_.reports[0].size() - pest.size() - 1), " " + pest);
  EXPECT_FALSE(Contains(machine_.ErrorLog(), "Cannot block the entry")) << machine_.ErrorLog();
}

// The same scan with the real alert window as the program wires it in, answered by
// clicking its buttons on the driven clock: Allow, Block Forever, and a countdown that
// runs out (a plain block). Each click is reported to the community service.
TEST(ScanWithTheAlertTest, TheWindowsAnswersReachTheScan) {
  ScanMachine machine;
  machine.WriteRules(kNoPreRules, "");
  ManualClock clock;
  LoopbackPeer peer;
  peer.SetReply("HTTP/1.0 200 OK\r\n\r\nthanks");
  SetServerAddressForTesting(peer.Address());
  machine.SetOption("chkAuto_BlockChk(0)", "0");
  std::string keeper = machine.Program("keeper.exe", "keeper bytes");
  std::string worm = machine.Program("worm.exe", "worm bytes");
  std::string slow = machine.Program("slow.exe", "slow bytes");
  machine.AddRunValue("Keeper", keeper);
  machine.AddRunValue("Worm", worm);
  machine.AddRunValue("Slow", slow);

  std::vector<std::string> shown;
  platform::Timer user("user", 100);
  user.on_timer = [&] {
    frmAlert::Controls* c = frmAlert::Default().controls();
    if (!c || !c->form.Visible())
      return;
    std::string name = c->Label1(1).Caption();
    if (shown.empty() || shown.back() != name)
      shown.push_back(name);
    if (name == "Keeper")
      c->CtlAllow.Click();
    else if (name == "Worm")
      c->CtlBlockForever.Click();
  };
  user.SetEnabled(true);
  GuardMode = true;
  ScanStartup(RunwardenGuardWindows());
  user.SetEnabled(false);
  SetServerAddressForTesting("");

  EXPECT_EQ(shown.size(), 3u) << testing::PrintToString(shown);
  EXPECT_EQ(GetAllowedList(), "<#>" + LowerCase(keeper) + "<#>" + Md2Hex("keeper bytes"));
  EXPECT_EQ(GetBlockedList(), "<#>" + LowerCase(worm) + "<#>" + Md2Hex("worm bytes"));
  EXPECT_EQ(ReadRegValue(kHkcuRun, "Keeper", ""), keeper);
  EXPECT_FALSE(HasValue(kHkcuRun, "Worm"));
  EXPECT_FALSE(HasValue(kHkcuRun, "Slow"));
  EXPECT_EQ(ReadRegValue(RegBackup("Slow"), "command", ""), slow);
  // Two clicks, two reports; the countdown reports nothing.
  ASSERT_EQ(peer.connections(), 2);
  std::string reports = peer.requests()[0] + peer.requests()[1];
  EXPECT_TRUE(Contains(reports, Md2Hex("keeper bytes"))) << reports;
  EXPECT_TRUE(Contains(reports, Md2Hex("worm bytes"))) << reports;
  EXPECT_FALSE(Contains(reports, Md2Hex("slow bytes"))) << reports;
}
