#include "ui/OptionsWindow.h"

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/Rights.h"
#include "app/Paths.h"
#include "app/LaunchModes.h"
#include "app/Settings.h"
#include "app/OsVersion.h"
#include "guard/LogonStart.h"
#include "guard/RuleLists.h"
#include "net/ServerAddress.h"
#include "platform/process.h"
#include "platform/rights.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "registry/Registry.h"
#include "ui/Gradient.h"
#include "ui/Transparency.h"
#include "ui/BlockedEntriesWindow.h"
#include "ui/Links.h"

namespace {

using platform::Control;
using platform::ControlKind;

using platform::Px;

constexpr uint32_t kInk = 0x4A2A10;
constexpr uint32_t kLinkInk = 0xB04A10;

const platform::Font kText{"Verdana", 8, false};
const platform::Font kBold{"Verdana", 8, true};

void Place(Control& control, int32_t left, int32_t top, int32_t width, int32_t height) {
  control.Move(Px(left), Px(top), Px(width), Px(height));
}

void Text(Control& label,
          const std::string& caption,
          const platform::Font& font,
          int32_t left,
          int32_t top,
          int32_t width,
          int32_t height) {
  label.SetCaption(caption);
  label.SetFont(font);
  label.SetForeColor(kInk);
  Place(label, left, top, width, height);
}

void Page(Control& page) {
  Place(page, 126, 8, 446, 394);
  page.on_paint = [&page] { PaintGradient(page); };
}

// A check box of the pages, with its explanation below it.
void Option(Control& check,
            Control& explanation,
            const std::string& caption,
            const std::string& text,
            int32_t top,
            int32_t lines) {
  Text(check, caption, kBold, 12, top, 420, 18);
  Text(explanation, text, kText, 30, top + 20, 404, lines * 13 + 2);
  check.SetValue(platform::kChecked);
}

// A button of the "Manage" page, with its explanation beside it.
void Action(Control& button,
            Control& explanation,
            const std::string& caption,
            const std::string& text,
            int32_t top,
            int32_t lines) {
  Place(button, 12, top, 186, 26);
  button.SetCaption(caption);
  button.SetForeColor(kInk);
  Text(explanation, text, kText, 210, top + 6, 228, lines * 13 + 2);
}

void Link(Control& label, const std::string& caption, int32_t top) {
  Text(label, caption, kBold, 10, top, 110, 15);
  label.SetForeColor(kLinkInk);
}

// Windows 8 is version 6.2.
bool MsconfigShowsBackups() {
  int major = GetOSMajorVersion();
  return major < 6 || (major == 6 && platform::MinorVersion() < 2);
}

}  // namespace

frmOptions::Controls::Controls(frmOptions& owner)
    : form("frmOptions", platform::Form::Border::kFixedSingle),
      List1(form, ControlKind::kListBox, "List1"),
      Label1(form, ControlKind::kLabel, "Label1"),
      lblReport_An(form, ControlKind::kLabel, "lblReport_An"),
      lblRequest_A(form, ControlKind::kLabel, "lblRequest_A"),
      Picture1(form, ControlKind::kPictureBox, "Picture1"),
      chkAuto_Block5(Picture1, ControlKind::kCheckBox, "chkAuto_Block", 5),
      lblAuto_Block5(Picture1, ControlKind::kLabel, "lblAuto_Block", 5),
      chkAuto_Block1(Picture1, ControlKind::kCheckBox, "chkAuto_Block", 1),
      lblAuto_Block1(Picture1, ControlKind::kLabel, "lblAuto_Block", 1),
      chkTerminate_2(Picture1, ControlKind::kCheckBox, "chkTerminate_", 2),
      lblTerminate_2(Picture1, ControlKind::kLabel, "lblTerminate_", 2),
      chkBlock_Detection3(Picture1, ControlKind::kCheckBox, "chkBlock_Detection", 3),
      lblBlock_Detection3(Picture1, ControlKind::kLabel, "lblBlock_Detection", 3),
      chkAuto_Block4(Picture1, ControlKind::kCheckBox, "chkAuto_Block", 4),
      lblAuto_Block4(Picture1, ControlKind::kLabel, "lblAuto_Block", 4),
      Picture3(form, ControlKind::kPictureBox, "Picture3"),
      chkAuto_BlockChk0(Picture3, ControlKind::kCheckBox, "chkAuto_BlockChk", 0),
      lblAuto_BlockChk0(Picture3, ControlKind::kLabel, "lblAuto_BlockChk", 0),
      chkAuto_Update6(Picture3, ControlKind::kCheckBox, "chkAuto_Update", 6),
      lblAuto_Update6(Picture3, ControlKind::kLabel, "lblAuto_Update", 6),
      chkSend_Errors7(Picture3, ControlKind::kCheckBox, "chkSend_Errors", 7),
      lblSend_Errors7(Picture3, ControlKind::kLabel, "lblSend_Errors", 7),
      lblWindow_Transparency(Picture3, ControlKind::kLabel, "lblWindow_Transparency"),
      HScroll1(Picture3, ControlKind::kHScrollBar, "HScroll1"),
      lbl13(Picture3, ControlKind::kLabel, "lbl13"),
      Picture2(form, ControlKind::kPictureBox, "Picture2"),
      cmdHelp(Picture2, ControlKind::kButton, "cmdHelp"),
      lblHelp(Picture2, ControlKind::kLabel, "lblHelp"),
      cmdCheck_Updates(Picture2, ControlKind::kButton, "cmdCheck_Updates"),
      lblCheck_Updates(Picture2, ControlKind::kLabel, "lblCheck_Updates"),
      cmdReset_All(Picture2, ControlKind::kButton, "cmdReset_All"),
      lblReset_All(Picture2, ControlKind::kLabel, "lblReset_All"),
      cmdRead_Log(Picture2, ControlKind::kButton, "cmdRead_Log"),
      lblRead_Log(Picture2, ControlKind::kLabel, "lblRead_Log"),
      cmdView_Blocked(Picture2, ControlKind::kButton, "cmdView_Blocked"),
      lblView_Blocked(Picture2, ControlKind::kLabel, "lblView_Blocked"),
      cmdEnable(Picture2, ControlKind::kButton, "cmdEnable"),
      lblEnable(Picture2, ControlKind::kLabel, "lblEnable") {
  form.SetCaption(kOptionsCaption);
  form.SetClientSize(Px(580), Px(410));
  form.on_paint = [this] { PaintGradient(form); };
  form.on_query_unload = [&owner] { return owner.Form_QueryUnload(); };

  Place(List1, 8, 8, 110, 64);
  List1.SetFont({"Verdana", 9, true});
  List1.SetForeColor(kInk);
  for (const char* page : {"Manage", "Blocking", "Misc"})
    List1.AddItem(page);
  List1.on_click = [&owner] { owner.List1_Click(); };

  Link(Label1, "Donate", 344);
  Link(lblReport_An, "Report an error", 364);
  Link(lblRequest_A, "Request a feature", 384);
  Label1.on_click = [&owner] { owner.OpenLink("?request=dn"); };
  lblReport_An.on_click = [&owner] { owner.OpenLink("?request=er&program=" + AppExeName()); };
  lblRequest_A.on_click = [&owner] { owner.OpenLink("?request=fr&program=" + AppExeName()); };

  Page(Picture1);
  Option(chkAuto_Block5, lblAuto_Block5, "Auto Block Harmfull files based on detection database",
         "This will block all the harmful files without showing a dialog. We have a database of "
         "more than 65000 harmful files.",
         10, 3);
  Option(chkAuto_Block1, lblAuto_Block1, "Auto Block Entry's",
         "Blocks all startup entries after showing dialog for 30 seconds, if no user intraction "
         "occurs.",
         86, 3);
  Option(chkTerminate_2, lblTerminate_2, "Terminate 'Blocked Forever' entry",
         "Terminates 'Blocked Forever' entry if found running. This will help to stop spreading "
         "some common harmful executables.",
         162, 3);
  Option(chkBlock_Detection3, lblBlock_Detection3, "Block detection based on md5 checksum",
         "This will help when multiple executables with same content spreaded on a computer "
         "tries to add to startup.",
         238, 3);
  Option(chkAuto_Block4, lblAuto_Block4, "Auto Block Invalid or Not existing file links",
         "This will disable all the invalid entrys like 'File not found' errors without showing "
         "a dialog.",
         314, 3);

  Page(Picture3);
  Option(chkAuto_BlockChk0, lblAuto_BlockChk0, "Use Community as default action for autoblock",
         "This will check community (if internet available,  if people allowded that file (more "
         "than blocked )) and takes default action.",
         10, 3);
  Option(chkAuto_Update6, lblAuto_Update6, "Auto Update",
         "This will update the program automatically.", 86, 2);
  Option(chkSend_Errors7, lblSend_Errors7, "Send Errors",
         "This will send error reports automatically.", 148, 2);
  Text(lblWindow_Transparency, "Window Transparency", kBold, 12, 216, 300, 15);
  Place(HScroll1, 12, 238, 330, 17);
  HScroll1.SetRange(0, kTransparencyMax, 1, 10);
  HScroll1.SetValue(kTransparencyDefault);
  HScroll1.on_change = [&owner] { owner.HScroll1_Change(); };
  Text(lbl13, std::to_string(kTransparencyDefault) + "%", kBold, 352, 239, 60, 15);

  Page(Picture2);
  Action(cmdHelp, lblHelp, "Help", "Read Help / About.", 12, 1);
  Action(cmdCheck_Updates, lblCheck_Updates, "Check Updates", "Check for latest updates.", 52, 1);
  Action(cmdReset_All, lblReset_All, "Reset All Rules", "Reset allowed and blocked rules.", 92, 1);
  Action(cmdRead_Log, lblRead_Log, "Read Log", "Read program log.", 132, 1);
  Action(cmdView_Blocked, lblView_Blocked, "View Blocked Entries", "Enable / See blocked entries.",
         172, 1);
  Action(cmdEnable, lblEnable, "Enable/Disable Runwarden",
         "Load guard to provide startup protection. It starts before loading any application and "
         "mutes all unvarified entries and quilts, again starts on startup and shows a dialog for "
         "each unvarified entry.",
         212, 7);
  cmdHelp.on_click = [&owner] { owner.cmdHelp_Click(); };
  cmdCheck_Updates.on_click = [&owner] { owner.cmdCheck_Updates_Click(); };
  cmdReset_All.on_click = [&owner] { owner.cmdReset_All_Click(); };
  cmdRead_Log.on_click = [&owner] { owner.cmdRead_Log_Click(); };
  cmdView_Blocked.on_click = [&owner] { owner.cmdView_Blocked_Click(); };
  cmdEnable.on_click = [&owner] { owner.cmdEnable_Click(); };
}

frmOptions::frmOptions() = default;
frmOptions::~frmOptions() = default;

frmOptions& frmOptions::Default() {
  static frmOptions instance;
  return instance;
}

void ShowOptionsWindow() {
  frmOptions::Default().Show();
}
void UnloadOptionsWindow() {
  frmOptions::Default().Unload();
}

void frmOptions::Show() {
  if (controls_ && controls_->form.Open()) {
    controls_->form.Show();
    return;
  }
  controls_.reset();
  controls_ = std::make_unique<Controls>(*this);
  Form_Load();
}

void frmOptions::Unload() {
  if (controls_)
    controls_->form.Close();
}

void frmOptions::Form_Load() {
  ErrorScope error;
  Controls& c = *controls_;
  error.Try([&] {
    c.form.Move((platform::ScreenWidth() - c.form.Width()) / 2,
                (platform::ScreenHeight() - c.form.Height()) / 2, c.form.Width(), c.form.Height());
  });
  error.Try([&] { LoadFormSettings(c.form.Controls()); });
  c.form.Show();
  error.Try([&] { c.List1.SetListIndex(0); });
  error.Try([&] {
    if (GetOSMajorVersion() < 5) {
      // No layered windows before version 5.
      c.HScroll1.SetValue(0);
      c.HScroll1.SetEnabled(false);
      return;
    }
    // Restoring the designed position (a fresh machine) fires no Change: the window
    // takes its transparency here.
    HScroll1_Change();
  });
  error.Try([&] {
    machine_writable_ = CanWriteMachineSettings();
    // Already elevated, more rights cannot be had: the step is tried, and its refusal said.
    needs_elevation_ = !machine_writable_ && !platform::IsElevated();
    c.cmdEnable.SetShield(needs_elevation_);
    c.cmdReset_All.SetShield(needs_elevation_);
    // msconfig asks for the rights itself; the Blocked Entries window needs them too.
    c.cmdView_Blocked.SetShield(needs_elevation_);
    loaded_options_.clear();
    for (const Control* control : c.form.Controls())
      loaded_options_.push_back(SettingText(*control));
  });
}

bool frmOptions::OptionsChanged() const {
  const std::vector<Control*>& controls = controls_->form.Controls();
  if (controls.size() != loaded_options_.size())
    return true;
  for (std::size_t i = 0; i < controls.size(); ++i)
    if (SettingText(*controls[i]) != loaded_options_[i])
      return true;
  return false;
}

bool frmOptions::Form_QueryUnload() {
  ErrorScope error;
  error.Try([&] {
    // Nothing to store, and nothing could be: no message for a look at the options.
    if (!machine_writable_ && !OptionsChanged())
      return;
    if (long status = SaveFormSettings(controls_->form.Controls()))
      Report(error, "Your options could not be stored (" + DescribeFailure(status) +
                        "). To change them, start Runwarden's options as an administrator.");
  });
  return false;
}

void frmOptions::Report(ErrorScope& error, const std::string& failure) {
  error.Raise(failure);
  platform::ShowMessageBox(failure, "", platform::kMbOk | platform::kMbIconExclamation);
}

std::string frmOptions::RunElevated(const std::string& parameters,
                                    const std::string& not_done,
                                    const std::string& failed) {
  long code = 0;
  switch (platform::StartElevated(parameters, &code)) {
    case platform::ElevatedStart::kRefused:
      return not_done + ": the administrator rights it needs were not given. Nothing was changed.";
    case platform::ElevatedStart::kFailed:
      return failed + ": it could not be started with administrator rights (" +
             DescribeFailure(code) + ").";
    case platform::ElevatedStart::kStarted:
      break;
  }
  return code == 0 ? "" : failed + " (" + DescribeFailure(code) + ").";
}

void frmOptions::List1_Click() {
  Controls& c = *controls_;
  switch (c.List1.ListIndex()) {
    case 0:
      c.Picture2.ZOrder();
      break;
    case 1:
      c.Picture1.ZOrder();
      break;
    case 2:
      c.Picture3.ZOrder();
      break;
    default:
      break;
  }
}

void frmOptions::HScroll1_Change() {
  Controls& c = *controls_;
  int32_t position = c.HScroll1.Value();
  c.lbl13.SetCaption(std::to_string(position) + "%");
  SetWindowTransparency(c.form.Handle(), static_cast<int16_t>(TransparencyAlpha(position)));
}

void frmOptions::cmdEnable_Click() {
  ErrorScope error;
  error.Try([&] {
    bool enabled = LogonStartEnabled();
    if (platform::ShowMessageBox(
            enabled ? "Do you want to disable Runwarden?" : "Do you want to enable Runwarden?",
            "Runwarden", platform::kMbOkCancel) != platform::kIdOk)
      return;
    std::string failure;
    if (needs_elevation_) {
      // The elevated copy does the whole step, the guard's start included.
      failure = enabled ? RunElevated("/disable", "Runwarden was not disabled",
                                      "Runwarden could not be disabled")
                        : RunElevated("/enable /s", "Runwarden was not enabled",
                                      "Runwarden could not be enabled");
    } else {
      LogonStartResult result = enabled ? DisableLogonStart() : EnableLogonStart();
      if (!result.ok())
        failure = std::string(enabled ? "Runwarden could not be disabled: "
                                      : "Runwarden could not be enabled: ") +
                  result.step + " (" + DescribeFailure(result.status) + ").";
    }
    if (!failure.empty()) {
      Report(error, failure);
      return;
    }
    platform::ShowMessageBox(
        enabled ? "Runwarden uninstalled sucessfully!" : "Runwarden installed sucessfully!", "",
        platform::kMbOk | platform::kMbIconInformation);
    if (needs_elevation_)
      return;
    WriteRegValue(kSettingsKey, "Unload", enabled ? "1" : "0");
    // A running guard is left alone; an enabled one starts at once.
    if (!enabled)
      platform::StartProgram(AutostartCommand("/s"), platform::StartWindow::kNormal);
  });
}

void frmOptions::cmdReset_All_Click() {
  ErrorScope error;
  error.Try([&] {
    std::string failure;
    if (needs_elevation_)
      failure = RunElevated("/resetrules", "The rules were not deleted",
                            "The rules could not be deleted");
    else if (long status = ResetRules())
      failure = "The rules could not be deleted (" + DescribeFailure(status) + ").";
    if (!failure.empty()) {
      Report(error, failure);
      return;
    }
    platform::ShowMessageBox("All rules deleted!", "",
                             platform::kMbOk | platform::kMbIconInformation);
  });
}

void frmOptions::cmdRead_Log_Click() {
  ErrorScope error;
  error.Try([&] {
    // Quoted: the program's folder may hold blanks.
    std::string log = "\"";
    log += AppFile("log.log");
    log += '"';
    long status = platform::StartWithShell("open", "notepad.exe", log, "", platform::kShowNormal);
    if (status)
      Report(error, "The log could not be opened: Notepad did not start (" +
                        DescribeFailure(status) + ").");
  });
}

// The shell starts msconfig, so that Windows asks for the administrator rights it needs.
void frmOptions::cmdView_Blocked_Click() {
  ErrorScope error;
  error.Try([&] {
    // From Windows 8 on msconfig no longer shows the backups it reads; then, and where
    // there is no msconfig, Runwarden's own window lists and restores them.
    if (!MsconfigShowsBackups()) {
      ShowBlockedEntries(error);
      return;
    }
    for (const char* place : {kMsconfigPath, kSystemMsconfigPath}) {
      std::string msconfig = platform::GetEnv("WINDIR") + place;
      if (!FileExists(msconfig))
        continue;
      if (long status = platform::StartWithShell("open", msconfig, "", "", platform::kShowNormal))
        Report(error, "Msconfig could not be started (" + DescribeFailure(status) + ").");
      return;
    }
    ShowBlockedEntries(error);
  });
}

// Restoring and deleting change the machine's settings: without the rights to, an
// elevated copy of the program shows the window.
void frmOptions::ShowBlockedEntries(ErrorScope& error) {
  if (!needs_elevation_) {
    ShowBlockedEntriesWindow();
    return;
  }
  std::string failure = RunElevated("/blocked", "The blocked entries were not shown",
                                    "The blocked entries could not be shown");
  if (!failure.empty())
    Report(error, failure);
}

void frmOptions::cmdHelp_Click() {
  ErrorScope error;
  error.Try([] {
    std::string help = AppFile("help.htm");
    if (!FileExists(help))
      help = AppFolder() + "\\help\\help.htm";
    platform::OpenWithShell("open", help, "", "", platform::kShowNormal);
  });
}

void frmOptions::cmdCheck_Updates_Click() {
  ErrorScope error;
  error.Try([] {
    platform::OpenWithShell("open", AppFile("update.exe"), "", AppFolder(), platform::kShowNormal);
  });
}

void frmOptions::OpenLink(const std::string& query) {
  OpenUrlInBrowser("http://" + ServerAddress() + "/~vantor/progerr.php" + query);
}
