// The options window: its pages, what it stores when it closes and restores when it
// opens, the transparency bar, and its buttons and links.
#include "ui/OptionsWindow.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/LaunchModes.h"
#include "app/Settings.h"
#include "guard/LogonStart.h"
#include "guard/ProcessKill.h"
#include "net/ServerAddress.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "support/Programs.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"
#include "ui/BlockedEntriesWindow.h"

namespace {

bool BlockedWindowOpen() {
  frmBlocked& blocked = frmBlocked::Default();
  return blocked.controls() && blocked.controls()->form.Open();
}

class OptionsTest : public ::testing::Test {
 protected:
  OptionsTest() : program_(folder_.File("Runwarden.exe")) {
    AppExePath = folder_.File("Runwarden.exe");
    ForgetAutostart();
  }
  ~OptionsTest() override {
    options_.reset();
    ForgetAutostart();
    AppExePath.clear();
  }

  // Only our own values: the keys belong to the machine.
  static void ForgetAutostart() {
    DeleteRegValue(kRunKey, kAutostartValue);
    DeleteRegValue(kRunOnceKey, kAutostartValue);
  }

  frmOptions::Controls& Open() {
    options_ = std::make_unique<frmOptions>();
    options_->Show();
    return *options_->controls();
  }
  void Close() { options_->controls()->form.Close(); }
  int Alpha() {
    uint8_t alpha = 0;
    EXPECT_TRUE(platform::GetLayeredAlpha(options_->controls()->form.Handle(), &alpha));
    return alpha;
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  std::unique_ptr<frmOptions> options_;
  MessageBoxRecorder boxes_;
  ShellOpenLog opened_;
};

// The list chooses the page in front. Opening applies the designed transparency or the
// stored one and restores what was stored; closing stores every option under the name
// the guard reads, and nothing else.
TEST_F(OptionsTest, OpeningRestoresAndClosingStoresEveryOptionUnderItsName) {
  frmOptions::Controls& c = Open();
  EXPECT_EQ(c.lbl13.Caption(), "13%");
  EXPECT_EQ(Alpha(), 222);
  EXPECT_EQ(c.List1.ListIndex(), 0);
  for (auto [index, page] : {std::pair{1, &c.Picture1}, {2, &c.Picture3}, {0, &c.Picture2}}) {
    c.List1.SetListIndex(index);
    for (platform::Control* other : {&c.Picture1, &c.Picture2, &c.Picture3})
      EXPECT_TRUE(other == page || other->ZPosition() < page->ZPosition()) << index;
  }
  c.chkAuto_Block4.Click();  // unchecks it
  c.chkSend_Errors7.SetValue(platform::kGrayed);
  c.HScroll1.SetValue(40);
  Close();
  EXPECT_FALSE(c.form.Open());
  const std::pair<const char*, const char*> stored[] = {
      {"chkAuto_BlockChk(0)", "1"},   {"chkAuto_Block(1)", "1"},  {"chkTerminate_(2)", "1"},
      {"chkBlock_Detection(3)", "1"}, {"chkAuto_Block(4)", "0"},  {"chkAuto_Block(5)", "1"},
      {"chkAuto_Update(6)", "1"},     {"chkSend_Errors(7)", "2"}, {"Hscroll1(0)", "40"},
  };
  for (const auto& [name, value] : stored)
    EXPECT_EQ(ReadRegValue(kSettingsKey, name, "?"), value) << name;
  EXPECT_EQ(EnumRegValues(kSettingsKey).Count(), 9);
  LoadOptions();
  EXPECT_FALSE(OptAutoBlockMissing);
  EXPECT_FALSE(OptSendErrors);
  EXPECT_TRUE(OptAutoBlockHarmful);

  WriteRegValue(kSettingsKey, "chkAuto_Update(6)", "0");
  WriteRegValue(kSettingsKey, "chkTerminate_(2)", "2");
  WriteRegValue(kSettingsKey, "chkBlock_Detection(3)", "yes");  // not a state: the design
  DeleteRegValue(kSettingsKey, "chkAuto_Block(1)");
  WriteRegValue(kSettingsKey, "HScroll1(0)", "50");
  frmOptions::Controls& again = Open();
  EXPECT_EQ(again.chkAuto_Update6.Value(), platform::kUnchecked);
  EXPECT_EQ(again.chkTerminate_2.Value(), platform::kGrayed);
  EXPECT_EQ(again.chkBlock_Detection3.Value(), platform::kChecked);
  EXPECT_EQ(again.chkAuto_Block1.Value(), platform::kChecked);
  EXPECT_EQ(again.lbl13.Caption(), "50%");
  EXPECT_EQ(Alpha(), 128);
  // The bar runs to ninety and sets the alpha as the user moves it.
  for (auto [position, alpha] : {std::pair{0, 255}, {90, 26}, {13, 222}, {100, 26}}) {
    again.HScroll1.ValueChangedByUser(position);
    EXPECT_EQ(again.lbl13.Caption(), std::to_string(std::min(position, 90)) + "%");
    EXPECT_EQ(Alpha(), alpha) << position;
  }
}

TEST_F(OptionsTest, BeforeVersionFiveTheBarIsOffAndTheWindowOpaque) {
  ScopedVersion version(4);
  WriteRegValue(kSettingsKey, "HScroll1(0)", "40");
  frmOptions::Controls& c = Open();
  EXPECT_EQ(c.HScroll1.Value(), 0);
  EXPECT_FALSE(c.HScroll1.Enabled());
  uint8_t alpha = 0;
  if (platform::GetLayeredAlpha(c.form.Handle(), &alpha))
    EXPECT_EQ(alpha, 255);
}

// Enable asks first, then registers the guard's start: the logon tasks, or where no task
// can be made (Windows XP) the quoted Run value; a second click offers to disable.
TEST_F(OptionsTest, EnableRegistersTheGuardsStartAndASecondClickOffersToDisable) {
  TaskSandbox tasks;
  for (bool xp : {false, true}) {
    SCOPED_TRACE(xp ? "xp" : "tasks");
    std::optional<ScopedVersion> version;
    if (xp)
      version.emplace(5);
    frmOptions::Controls& c = Open();
    EXPECT_FALSE(c.cmdEnable.Shield());
    for (bool enable : {true, false}) {
      boxes_.clear();
      c.cmdEnable.Click();
      ASSERT_EQ(boxes_.size(), 2u);
      EXPECT_EQ(boxes_[0].text,
                enable ? "Do you want to enable Runwarden?" : "Do you want to disable Runwarden?");
      EXPECT_EQ(boxes_[0].title, "Runwarden");
      EXPECT_EQ(boxes_[0].style, platform::kMbOkCancel);
      EXPECT_EQ(boxes_[1].text,
                enable ? "Runwarden installed sucessfully!" : "Runwarden uninstalled sucessfully!");
      EXPECT_EQ(boxes_[1].style, platform::kMbOk | platform::kMbIconInformation);
      EXPECT_EQ(ReadRegValue(kSettingsKey, "Unload", ""), enable ? "0" : "1");
      EXPECT_EQ(TaskSandbox::Registered(), enable && !xp ? 2 : 0);
      EXPECT_EQ(ReadRegValue(kRunKey, "Runwarden", "none"),
                enable && xp ? "\"" + AppExePath + "\" /s" : "none");
      if (enable && xp)
        WriteRegValue(kRunOnceKey, "Runwarden", "\"" + AppExePath + "\" /r");
    }
    EXPECT_EQ(ReadRegValue(kRunOnceKey, "Runwarden", "none"), "none");
  }
  // Another switch or folder is not this guard; the unquoted value an older version
  // wrote is. Cancel keeps each.
  ScopedVersion xp(5);
  frmOptions::Controls& c = Open();
  boxes_.answer = platform::kIdCancel;
  for (const std::string& other :
       std::vector<std::string>{"\"" + AppExePath + "\" /r", "\"C:\\Elsewhere\\Runwarden.exe\" /s",
                                AppExePath + " /s ", AppExePath + " /s"}) {
    WriteRegValue(kRunKey, "Runwarden", other);
    boxes_.clear();
    c.cmdEnable.Click();
    ASSERT_EQ(boxes_.size(), 1u) << other;
    EXPECT_EQ(boxes_[0].text, other == AppExePath + " /s" ? "Do you want to disable Runwarden?"
                                                          : "Do you want to enable Runwarden?");
    EXPECT_EQ(ReadRegValue(kRunKey, "Runwarden", ""), other);
  }
}

// An administrator's filtered token (or a standard user): the buttons that change the
// machine carry the shield and hand their step to an elevated copy of the program.
TEST_F(OptionsTest, WithoutTheRightsTheShieldedButtonsAskAnElevatedCopy) {
  TaskSandbox tasks;
  ScopedElevation elevation(platform::ElevationType::kLimited);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  frmOptions::Controls& c = Open();
  for (platform::Control* button : {&c.cmdEnable, &c.cmdReset_All, &c.cmdView_Blocked})
    EXPECT_TRUE(button->Shield()) << button->Name();
  for (platform::Control* button : {&c.cmdHelp, &c.cmdRead_Log})
    EXPECT_FALSE(button->Shield()) << button->Name();

  using platform::ElevatedStart;
  const std::string not_given =
      ": the administrator rights it needs were not given. Nothing "
      "was changed.";
  struct Case {
    platform::Control* button;
    ElevatedStart result;
    long code;
    const char* parameters;
    std::string message;  // the whole text, or its beginning up to the system's sentence
  } cases[] = {
      {&c.cmdEnable, ElevatedStart::kStarted, 0, "/enable /s", "Runwarden installed sucessfully!"},
      {&c.cmdEnable, ElevatedStart::kRefused, 1223, "/enable /s",
       "Runwarden was not enabled" + not_given},
      {&c.cmdEnable, ElevatedStart::kStarted, 5, "/enable /s",
       "Runwarden could not be enabled (access denied: administrator rights are needed)."},
      {&c.cmdEnable, ElevatedStart::kFailed, 2, "/enable /s",
       "Runwarden could not be enabled: it could not be started with administrator rights "
       "(error 2"},
      {&c.cmdReset_All, ElevatedStart::kStarted, 0, "/resetrules", "All rules deleted!"},
      {&c.cmdReset_All, ElevatedStart::kRefused, 1223, "/resetrules",
       "The rules were not deleted" + not_given},
      {&c.cmdView_Blocked, ElevatedStart::kRefused, 1223, "/blocked",
       "The blocked entries were not shown" + not_given},
      {&c.cmdView_Blocked, ElevatedStart::kStarted, 0, "/blocked", ""},  // shown by the copy
  };
  ScopedVersion windows8(6, 2);
  for (const Case& test : cases) {
    SCOPED_TRACE(test.message);
    boxes_.clear();
    elevation.started.clear();
    elevation.Answer(test.result, test.code);
    test.button->Click();
    EXPECT_EQ(elevation.started, std::vector<std::string>{test.parameters});
    if (test.message.empty()) {
      EXPECT_TRUE(boxes_.empty());
      continue;
    }
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_.back().text.rfind(test.message, 0), 0u) << boxes_.back().text;
    const bool warning = test.code != 0;
    EXPECT_EQ(boxes_.back().style, platform::kMbOk | (warning ? platform::kMbIconExclamation
                                                              : platform::kMbIconInformation));
    if (warning)
      EXPECT_NE(folder_.Read("errlog.log").find(boxes_.back().text), std::string::npos);
  }
  EXPECT_FALSE(BlockedWindowOpen());

  // Enabled already: the same button asks the elevated copy to disable.
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  ASSERT_TRUE(EnableLogonStart().ok());
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  elevation.started.clear();
  elevation.Answer(ElevatedStart::kStarted, 0);
  c.cmdEnable.Click();
  EXPECT_EQ(elevation.started, std::vector<std::string>{"/disable"});

  // Nothing changed, nothing to store: closing says nothing. A change it cannot keep is
  // said.
  boxes_.clear();
  Close();
  EXPECT_TRUE(boxes_.empty());
  Open().chkAuto_Update6.Click();
  Close();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text,
            "Your options could not be stored (access denied: administrator rights are "
            "needed). To change them, start Runwarden's options as an administrator.");

  // Elevated already and still refused (the key's own permissions): no shield, no second
  // copy; the step is tried and its refusal said.
  platform::SetElevationForTesting(platform::ElevationType::kFull);
  frmOptions::Controls& elevated = Open();
  EXPECT_FALSE(elevated.cmdReset_All.Shield());
  boxes_.clear();
  elevation.started.clear();
  elevated.cmdReset_All.Click();
  EXPECT_TRUE(elevation.started.empty());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text,
            "The rules could not be deleted (access denied: administrator rights are needed).");
}

// With the rights, a step refused all the same is shown, logged, and never called a
// success.
TEST_F(OptionsTest, ARefusedStepIsShownAndLoggedAndNeverCalledASuccess) {
  frmOptions::Controls& c = Open();
  auto said = [&](const std::string& text) {
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_.back().text, text);
    EXPECT_EQ(boxes_.back().style, platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_NE(folder_.Read("errlog.log").find(text), std::string::npos) << text;
    for (const ShownBox& box : boxes_)
      EXPECT_EQ(box.text.find("sucessfully"), std::string::npos) << box.text;
    boxes_.clear();
  };
  {
    TaskSandbox refusing(platform::TaskServiceForTesting::kRefusing);
    c.cmdEnable.Click();
    said(
        "Runwarden could not be enabled: the guard's logon task could not be registered "
        "(access denied: administrator rights are needed).");
  }
  // Reset empties both lists and leaves the muted entries; refused, it says so.
  const std::string muted = std::string(kSettingsKey) + "\\Muted";
  WriteRegValue(kSettingsKey, "Allowed", "<#>C:\\a.exe<#>AA");
  WriteRegValue(kSettingsKey, "Blocked", "<#>C:\\b.exe<#>BB");
  WriteRegValue(muted, "entry", "C:\\c.exe");
  c.cmdReset_All.Click();
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", "?") + ReadRegValue(kSettingsKey, "Blocked", "?"),
            "");
  EXPECT_EQ(ReadRegValue(muted, "entry", ""), "C:\\c.exe");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "All rules deleted!");
  boxes_.clear();
  platform::FailValueWritesAfterForTesting(0);
  c.cmdReset_All.Click();
  said("The rules could not be deleted (access denied: administrator rights are needed).");
  Close();
  said(
      "Your options could not be stored (access denied: administrator rights are needed). To "
      "change them, start Runwarden's options as an administrator.");
  platform::FailValueWritesAfterForTesting(-1);

  // Programs the shell cannot start.
  frmOptions::Controls& again = Open();
  opened_.accepts = false;
  again.cmdRead_Log.Click();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text.rfind("The log could not be opened: Notepad did not start (error 2", 0),
            0u)
      << boxes_[0].text;
  ScopedEnv windir("WINDIR", folder_.path());
  platform::CreateFolder(folder_.File("system32"));
  folder_.Write("system32\\msconfig.exe", "MZ");
  again.cmdView_Blocked.Click();
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[1].text.rfind("Msconfig could not be started (error 2", 0), 0u)
      << boxes_[1].text;
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[0].file, "notepad.exe");
  EXPECT_EQ(opened_[0].parameters, "\"" + folder_.File("log.log") + "\"");
  EXPECT_EQ(opened_[1].file, folder_.File("system32\\msconfig.exe"));
}

// Before Windows 8 (6.2) msconfig shows the backups: the help centre's copy (only
// Windows XP kept one there), else the one in system32, started by the shell (under Wine
// for real: the tests' sleeper stands in for it). From Windows 8 on, or without
// msconfig, Runwarden's own window opens instead.
TEST_F(OptionsTest, ViewBlockedStartsMsconfigBeforeWindows8OrOpensItsOwnWindow) {
  ScopedEnv windir("WINDIR", folder_.path());
  frmOptions::Controls& c = Open();
  std::vector<std::string> opened;
  auto view = [&](int major, int minor) {
    ScopedVersion version(major, minor);
    c.cmdView_Blocked.Click();
    const bool own = BlockedWindowOpen();
    frmBlocked::Default().Unload();
    opened.push_back(own ? "own window" : opened_.empty() ? "nothing" : opened_.back().file);
  };
  view(6, 1);
  platform::CreateFolder(folder_.File("system32"));
  folder_.Write("system32\\msconfig.exe", SleeperBytes());
  view(6, 2);
  view(10, 0);
  view(6, 1);
  for (const char* folder : {"pchealth", "pchealth\\helpctr", "pchealth\\helpctr\\binaries"})
    platform::CreateFolder(folder_.File(folder));
  const std::string help_centre = folder_.Write("pchealth\\helpctr\\binaries\\msconfig.exe", "MZ");
  view(5, 1);
  EXPECT_EQ(opened,
            (std::vector<std::string>{"own window", "own window", "own window",
                                      folder_.File("system32\\msconfig.exe"), help_centre}));
  EXPECT_TRUE(boxes_.empty());
#ifdef _WIN32
  platform::RemoveFile(help_centre);
  ScopedVersion windows7(6, 1);
  platform::SetShellOpenRecorderForTesting(nullptr);  // the shell starts it for real
  c.cmdView_Blocked.Click();
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(WaitUntil([] { return IsProcessRunning("msconfig.exe"); }));
  KillProcessByFile("msconfig.exe");
#endif
}

// Help and updates from the program's folder; the maker's pages in the first browser
// found (a folder of a browser's name is not the browser), or quietly nowhere.
TEST_F(OptionsTest, HelpUpdatesAndLinksAreOpenedByTheShell) {
  ScopedEnv program_files("programfiles", folder_.path());
  frmOptions::Controls& c = Open();
  c.lblReport_An.Click();
  platform::CreateFolder(folder_.File("internet explorer"));
  platform::CreateFolder(folder_.File("internet explorer\\iexplore.exe"));
  platform::CreateFolder(folder_.File("opera"));
  folder_.Write("opera\\opera.exe", "MZ");
  c.lblReport_An.Click();
  platform::CreateFolder(folder_.File("mozilla firefox"));
  folder_.Write("mozilla firefox\\firefox.exe", "MZ");
  c.cmdHelp.Click();
  c.cmdCheck_Updates.Click();
  folder_.Write("help.htm", "<html></html>");
  c.cmdHelp.Click();
  c.lblReport_An.Click();
  c.lblRequest_A.Click();
  c.Label1.Click();
  EXPECT_TRUE(boxes_.empty());
  ASSERT_EQ(opened_.size(), 7u);
  const std::string page = "http://" + ServerAddress() + "/~vantor/progerr.php";
  EXPECT_EQ(opened_[0].file, folder_.path() + "\\opera\\opera.exe");
  EXPECT_EQ(opened_[1].verb, "open");
  EXPECT_EQ(opened_[1].file, folder_.path() + "\\help\\help.htm");
  EXPECT_EQ(opened_[2].file, folder_.File("update.exe"));
  EXPECT_EQ(opened_[2].folder, folder_.path());
  EXPECT_EQ(opened_[3].file, folder_.File("help.htm"));
  EXPECT_EQ(opened_[3].parameters, "");
  EXPECT_EQ(opened_[4],
            (ShellCall{"open", folder_.path() + "\\mozilla firefox\\firefox.exe",
                       page + "?request=er&program=Runwarden", "", platform::kShowNormal}));
  EXPECT_EQ(opened_[5].parameters, page + "?request=fr&program=Runwarden");
  EXPECT_EQ(opened_[6].parameters, page + "?request=dn");
}

}  // namespace
