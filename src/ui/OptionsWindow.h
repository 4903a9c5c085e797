// frmOptions, "Manage Runwarden": the window the user sees when starting the program
// without arguments. Three pages chosen from a list on the left: "Manage" (register the
// guard, reset the rules, the log, msconfig, help, updates), "Blocking" and "Misc" (the
// options and the transparency bar). It holds no engine logic: the options reach a
// guard through the settings key, stored when the window closes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/ErrorScope.h"

#include "guard/GuardLoop.h"
#include "platform/window.h"

inline constexpr char kOptionsCaption[] = "Manage Runwarden";
// Where the view of blocked entries lives, below the Windows folder: Windows XP kept
// msconfig with the help centre, every later Windows keeps it in system32.
inline constexpr char kMsconfigPath[] = "\\pchealth\\helpctr\\binaries\\msconfig.exe";
inline constexpr char kSystemMsconfigPath[] = "\\system32\\msconfig.exe";

class frmOptions {
 public:
  struct Controls;

  frmOptions();
  ~frmOptions();
  static frmOptions& Default();

  // Loads the window (Form_Load shows it) or brings the open one to the front.
  void Show();
  // Closes the window as the close box does (the options are stored).
  void Unload();
  Controls* controls() { return controls_.get(); }

 private:
  void Form_Load();
  bool Form_QueryUnload();
  void List1_Click();
  void HScroll1_Change();
  void cmdEnable_Click();
  void cmdReset_All_Click();
  void cmdRead_Log_Click();
  void cmdView_Blocked_Click();
  // The Blocked Entries window, in an elevated copy when this one lacks the rights.
  void ShowBlockedEntries(ErrorScope& error);
  void cmdHelp_Click();
  void cmdCheck_Updates_Click();
  void OpenLink(const std::string& query);
  // The failure's text for the user, empty when it was done.
  std::string RunElevated(const std::string& parameters,
                          const std::string& not_done,
                          const std::string& failed);
  void Report(ErrorScope& error, const std::string& failure);
  bool OptionsChanged() const;

  std::unique_ptr<Controls> controls_;
  // Whether this copy may write the machine's settings; without, and not elevated, the
  // buttons that need it carry the UAC shield and ask an elevated copy of the program.
  bool machine_writable_ = true;
  bool needs_elevation_ = false;
  // The options as the window opened with them.
  std::vector<std::string> loaded_options_;
};

// Shows the window modeless; the program lives while it is open (RunMessageLoop).
void ShowOptionsWindow();
void UnloadOptionsWindow();

struct frmOptions::Controls {
  explicit Controls(frmOptions& owner);

  platform::Form form;
  platform::Control List1;
  platform::Control Label1, lblReport_An, lblRequest_A;
  // "Blocking"
  platform::Control Picture1;
  platform::Control chkAuto_Block5, lblAuto_Block5;
  platform::Control chkAuto_Block1, lblAuto_Block1;
  platform::Control chkTerminate_2, lblTerminate_2;
  platform::Control chkBlock_Detection3, lblBlock_Detection3;
  platform::Control chkAuto_Block4, lblAuto_Block4;
  // "Misc"
  platform::Control Picture3;
  platform::Control chkAuto_BlockChk0, lblAuto_BlockChk0;
  platform::Control chkAuto_Update6, lblAuto_Update6;
  platform::Control chkSend_Errors7, lblSend_Errors7;
  platform::Control lblWindow_Transparency, HScroll1, lbl13;
  // "Manage", in front at the start
  platform::Control Picture2;
  platform::Control cmdHelp, lblHelp;
  platform::Control cmdCheck_Updates, lblCheck_Updates;
  platform::Control cmdReset_All, lblReset_All;
  platform::Control cmdRead_Log, lblRead_Log;
  platform::Control cmdView_Blocked, lblView_Blocked;
  platform::Control cmdEnable, lblEnable;
};
