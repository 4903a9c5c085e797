// The scan pass, one case per outcome a user can tell apart: allowed, blocked for ever,
// blocked, a missing file, a harmful file (with and without termination), the single
// scan's muting, the program's own entry, and the error prompt; and the two runs at logon
// around it: the guard ("/s") with its rule-file check, its autostart values, the muted
// entries put back (once the single scan has ended) before it asks, one pass and the
// update check, or the resident passes after hijacked settings. The alert is a stand-in
// that answers as told (the real one is pressed by the end-to-end guard run); the
// registry, the files and the logs are real.
#include "guard/Scan.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/AppInfo.h"
#include "app/LaunchModes.h"
#include "app/Settings.h"
#include "app/ShortPath.h"
#include "app/TextFunctions.h"
#include "guard/Blocking.h"
#include "guard/GuardLoop.h"
#include "guard/Md2.h"
#include "guard/ProcessKill.h"
#include "guard/Rating.h"
#include "guard/RuleLists.h"
#include "main/ProgramModes.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/session_lock.h"
#include "platform/sound.h"
#include "platform/system.h"
#include "platform/window.h"
#include "registry/Registry.h"
#include "support/Programs.h"
#include "support/ScanMachine.h"

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
  // Hidden and system at once, it is there like any other file: hashed, never "Not Exists".
  ASSERT_TRUE(platform::WriteAttributes(keeper, platform::kAttrHidden | platform::kAttrSystem));
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

  // With "Send Errors" on the report is sent instead, neither logged nor prompted.
  machine_.SetOption("chkSend_Errors(7)", "1");
  RunOnceMode = false;
  before = machine_.ErrorLog();
  GuardScan();
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, false);
  EXPECT_EQ(boxes_.size(), 3u);
  ASSERT_EQ(alert_.reports.size(), 1u);
  EXPECT_TRUE(Contains(alert_.reports[0], " Cannot block the entry 'Pest' ")) << alert_.reports[0];
  EXPECT_EQ(alert_.reports[0].substr(alert_.reports[0].size() - pest.size() - 5),
            " " + pest + " /bg");
  EXPECT_FALSE(Contains(machine_.ErrorLog().substr(before.size()), "Cannot block the entry"));
}

namespace {

// The guard's runs ("/s") and the single scan's ("/r") around them, with a Pest the rule
// file rates as not needed.
class GuardTest : public ScanTest {
 protected:
  GuardTest() { machine_.WriteRules("[Pest]\r\nF=pest.exe\r\nC=N\r\nD=Adware\r\n", ""); }
  const std::string pest_ = machine_.Program("pest.exe", "pest bytes");
};

constexpr char kSettingChanged[] =
    "Found a setting change and fixed some of them! It might be a spyware or harmful file in "
    "your system. Please scan your computer with a antivirus and antispyware!";

}  // namespace

TEST_F(GuardTest, WithoutEitherRuleFileItRefusesToStartAndTouchesNothing) {
  machine_.AddRunValue("Pest", pest_);
  WriteRegValue(kMutedKey, std::string(kHkcuRun) + "\\Muted", pest_);
  for (const std::string missing : {"prerules.ini", "virrules.ini"}) {
    SCOPED_TRACE(missing);
    machine_.WriteRules("", "");
    platform::RemoveFile(machine_.folder().File(missing));
    boxes_.clear();
    EXPECT_FALSE(StartGuard(alert_.Windows()));

    std::string text = "Missing file - " + missing + ", cannot check harmfull files!";
    std::string log = machine_.ErrorLog();
    EXPECT_EQ(log.substr(log.size() - text.size() - 1), "\t" + text) << log;
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, text + "\r\n\r\nThis application will now terminate!");
    EXPECT_EQ(boxes_[0].title, "Runwarden - Critical Error");
    EXPECT_EQ(boxes_[0].style, platform::kMbOk | platform::kMbIconCritical);
    EXPECT_FALSE(HasValue(kRunKey, kAutostartValue));
    EXPECT_FALSE(HasValue(kRunOnceKey, kAutostartValue));
    EXPECT_FALSE(HasValue(kHkcuRun, "Muted"));
    EXPECT_TRUE(alert_.alerts.empty());
    EXPECT_FALSE(GuardMode);
  }
}

// The single scan at logon asks nothing: undecided entries are muted (with a repair of
// the system settings for each), listed ones are handled as listed, nothing is rated.
// The guard then writes its autostart values, puts the muted entries back before it
// asks, rates, checks for updates (when it may) and ends.
TEST_F(GuardTest, TheSingleScanMutesWhatIsUndecidedAndTheGuardPutsItBackAndAsks) {
  SystemValuesGuard system_values;
  ScopedVersion five(5);
  const std::string& pest = pest_;
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

  RunOnceMode = false;  // the guard is another process
  bool back_in_place_when_asked = false;
  alert_.on_alert = [&](const AlertCall&) {
    back_in_place_when_asked =
        ReadRegValue(kHkcuRun, "Pest", "") == pest + " /bg" && platform::FileSize(link) >= 0;
  };
  alert_.answers = {{"Pest", Answer::kAllow}, {"Tray", Answer::kAllow}};
  EXPECT_TRUE(StartGuard(alert_.Windows()));
  EXPECT_EQ(ReadRegValue(kRunOnceKey, kAutostartValue, ""), "\"" + machine_.Program() + "\" /r");
  EXPECT_EQ(ReadRegValue(kRunKey, kAutostartValue, ""), "\"" + machine_.Program() + "\" /s");
  ASSERT_EQ(alert_.alerts.size(), 2u);
  EXPECT_TRUE(back_in_place_when_asked);
  EXPECT_EQ(alert_.alerts[0].code, "N");  // the guard rates
  EXPECT_EQ(alert_.alerts[0].rating_text, "Adware");
  EXPECT_TRUE(ValueNames(kMutedKey).empty());
  EXPECT_EQ(alert_.hides, 1);
  EXPECT_EQ(alert_.update_checks, 1);
  EXPECT_EQ(alert_.unloads, 1);
  EXPECT_TRUE(alert_.notices.empty());
  EXPECT_FALSE(KeepGuarding);
  machine_.SetOption("chkAuto_Update(6)", "0");
  EXPECT_TRUE(StartGuard(alert_.Windows()));
  EXPECT_EQ(alert_.update_checks, 1);
  EXPECT_EQ(alert_.unloads, 2);

  // Nothing left to mute: no repair at all.
  WriteRegValue(kWinlogon, "uihost", "evil.exe");
  RunOnceMode = true;
  Scan();
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "evil.exe");
  EXPECT_TRUE(ValueNames(kMutedKey).empty());
}

// A first pass whose repair found hijacked settings: the red notice once, no update
// check, and a pass every 5 seconds from then on, the pauses letting messages run.
TEST_F(GuardTest, HijackedSettingsKeepTheGuardPassingEveryFiveSeconds) {
  SystemValuesGuard system_values;
  ScopedVersion five(5);
  WriteRegValue(kWinlogon, "uihost", "evil.exe");
  ManualClock clock;
  std::vector<uint32_t> pass_ends;
  GuardWindows windows = alert_.Windows();
  windows.HideAlert = [&] { pass_ends.push_back(platform::TickCount()); };
  int ticks = 0;
  platform::Timer messages("messages", 1000);
  messages.on_timer = [&] { ++ticks; };
  messages.SetEnabled(true);
  LimitGuardPassesForTesting(3);

  EXPECT_TRUE(StartGuard(windows));

  ASSERT_EQ(pass_ends.size(), 3u);
  for (size_t i = 1; i < pass_ends.size(); ++i) {
    EXPECT_GE(pass_ends[i] - pass_ends[i - 1], kGuardPauseMs);
    EXPECT_LT(pass_ends[i] - pass_ends[i - 1], kGuardPauseMs + 1000);
  }
  EXPECT_GE(ticks, 2);
  ASSERT_EQ(alert_.notices.size(), 1u);
  EXPECT_EQ(alert_.notices[0].message, kSettingChanged);
  EXPECT_EQ(alert_.notices[0].color, 255u);
  EXPECT_EQ(alert_.update_checks, 0);
  EXPECT_EQ(alert_.unloads, 0);
  EXPECT_TRUE(KeepGuarding);
  EXPECT_EQ(ReadRegValue(kWinlogon, "uihost", ""), "%windir%\\resources\\logon\\logonui.exe");
}

// Time goes on between two readings of the clock. The pause reads it once a round, so
// however far it moves meanwhile, the rest never aims past a deadline that has already
// gone by (which would be a wait of 49 days). Each step size puts the deadline between
// two readings somewhere along the way.
TEST(GuardPauseTest, ARestNeverOutlastsTheDeadlineHoweverTheClockMoves) {
  ManualClock clock;
  for (uint32_t step = 100; step < kGuardPauseMs; step += 100) {
    SCOPED_TRACE(step);
    platform::StepClockOnReadingForTesting(step);
    uint32_t start = platform::TickCount();
    PauseLettingMessagesRun(kGuardPauseMs);
    uint32_t took = platform::TickCount() - start;
    EXPECT_GE(took, kGuardPauseMs);
    EXPECT_LE(took, kGuardPauseMs + 4 * step);
    EXPECT_LE(platform::LongestIdleForTesting(), kGuardPauseMs);
  }
}

// The single scan holds its lock while it runs (seen here from its error report). A guard
// that starts meanwhile puts nothing back, letting messages run, until the scan ends; one
// still running after the longest wait leaves the muted entries for the next start.
TEST_F(GuardTest, TheGuardPutsNothingBackWhileTheSingleScanRuns) {
  machine_.AddRunValue("Pest", pest_);
  GuardWindows scan_windows = alert_.Windows();
  bool held_while_scanning = false;
  scan_windows.SubmitError = [&](const std::string&) {
    held_while_scanning = platform::SessionLockHeld(kEarlyScanLock);
  };
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, true);
  ScanOnce(scan_windows);  // the value cannot be muted: an error
  platform::SetRootReadOnlyForTesting(platform::RegRoot::CurrentUser, false);
  EXPECT_TRUE(held_while_scanning);
  EXPECT_FALSE(platform::SessionLockHeld(kEarlyScanLock));
  ScanOnce(alert_.Windows());  // muted, and no autostart value written
  EXPECT_TRUE(RunOnceMode);
  RunOnceMode = false;  // the guard is another process
  ASSERT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_FALSE(HasValue(kRunKey, kAutostartValue));

  ManualClock clock;
  const uint32_t start = platform::TickCount();
  std::optional<platform::SessionLock> scan(std::in_place, kEarlyScanLock);
  platform::Timer scan_end("scan end", 20000);
  bool back_before_the_scan_ended = true;
  scan_end.on_timer = [&] {
    back_before_the_scan_ended = HasValue(kHkcuRun, "Pest");
    scan.reset();
    scan_end.SetEnabled(false);
  };
  scan_end.SetEnabled(true);
  alert_.answers = {{"Pest", Answer::kAllow}};
  uint32_t asked_after = 0;
  alert_.on_alert = [&](const AlertCall&) { asked_after = platform::TickCount() - start; };

  EXPECT_TRUE(StartGuard(alert_.Windows()));
  EXPECT_FALSE(scan.has_value()) << "no message ran while the guard waited";
  EXPECT_FALSE(back_before_the_scan_ended);
  EXPECT_GE(asked_after, 20000u);
  EXPECT_LT(asked_after, 21000u);
  ASSERT_EQ(alert_.alerts.size(), 1u);

  // A scan that never ends.
  DeleteRegValue(kHkcuRun, "Pest");
  WriteRegValue(kMutedKey, std::string(kHkcuRun) + "\\Pest", pest_);
  platform::SessionLock stuck(kEarlyScanLock);
  const uint32_t stuck_start = platform::TickCount();
  EXPECT_TRUE(StartGuard(alert_.Windows()));
  EXPECT_GE(platform::TickCount() - stuck_start, kEarlyScanWaitMs);
  EXPECT_LT(platform::TickCount() - stuck_start, kEarlyScanWaitMs + 1000);
  EXPECT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_EQ(ReadRegValue(kMutedKey, std::string(kHkcuRun) + "\\Pest", ""), pest_);
  EXPECT_EQ(alert_.alerts.size(), 1u);
  EXPECT_NE(machine_.ErrorLog().find("The early scan is still running: the muted entries stay "
                                     "aside until the next start of the guard"),
            std::string::npos);
}

// A standard user: nothing of the machine's can be written, so no answer could be kept.
// The early scan holds back only the user's own values, recorded in the user's key; the
// guard puts them back, asks nothing and says why, once.
TEST_F(GuardTest, WithoutTheMachinesSettingsOnlyTheUsersValuesAreHeldBackAndNothingIsAsked) {
  const std::string record = std::string(kHkcuRun) + "\\Pest";
  machine_.AddRunValue("Pest", pest_);
  WriteRegValue(kHklmRun, "Machine pest", pest_);
  machine_.AddStartupShortcut("Pest", pest_);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  ScanOnce(alert_.Windows());
  EXPECT_TRUE(LimitedRights);
  EXPECT_FALSE(HasValue(kHkcuRun, "Pest"));
  EXPECT_EQ(ReadRegValue(kUserMutedKey, record, ""), pest_);
  EXPECT_TRUE(HasValue(kHklmRun, "Machine pest"));
  EXPECT_EQ(ValueNames(kUserMutedKey).size(), 1u) << "only the user's value";
  EXPECT_EQ(machine_.ErrorLog(), "");

  const std::string limited =
      "Runwarden cannot ask about startup entries on this account: it may not change its "
      "settings for this computer (access denied: administrator rights are needed), so no "
      "answer could be kept.";
  const std::string held_back =
      " The startup entries of your account that are not allowed were held back at logon and "
      "are back in place now; they did not start this time.";
  for (const std::string& said : {limited + held_back, limited}) {
    SCOPED_TRACE(said);
    alert_.notices.clear();
    EXPECT_TRUE(StartGuard(alert_.Windows()));
    EXPECT_EQ(ReadRegValue(kHkcuRun, "Pest", ""), pest_);
    EXPECT_TRUE(ValueNames(kUserMutedKey).empty());
    EXPECT_TRUE(alert_.alerts.empty());
    ASSERT_EQ(alert_.notices.size(), 1u);
    EXPECT_EQ(alert_.notices[0].message, said);
    EXPECT_EQ(alert_.notices[0].color, 255u);
    EXPECT_EQ(alert_.update_checks, 0);
    EXPECT_FALSE(KeepGuarding);
    EXPECT_FALSE(HasValue(kRunKey, kAutostartValue));
  }
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
}
