// Shows the program's windows one state after another, for scripts/screenshots.sh:
// the alert asking (then brought forward, with the focus on a button, and with its
// community panel), counting down, a red notice, the three pages of the options window
// and its first page without an administrator's rights, and the Blocked Entries window.
// Before each picture it writes
//   NAME LEFT TOP WIDTH HEIGHT
// (the window's place on the screen, in pixels) to the file named on its command line,
// and goes on once that file has been deleted.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "guard/Blocking.h"
#include "guard/OwnBackups.h"
#include "net/ServerAddress.h"
#include "platform/events.h"
#include "platform/registry.h"
#include "platform/rights.h"
#include "registry/Registry.h"
#include "support/LoopbackPeer.h"
#include "support/RegistrySandbox.h"
#include "ui/AlertWindow.h"
#include "ui/BlockedEntriesWindow.h"
#include "ui/OptionsWindow.h"

namespace {

std::string g_signal;

// Lets the windows paint, tells the script where the window is and waits for its picture.
void Picture(const std::string& name, platform::Control& form) {
  uint32_t settle = platform::TickCount() + 700;
  while (static_cast<int32_t>(platform::TickCount() - settle) < 0) {
    platform::DoEvents();
    platform::Idle(10);
  }
  RECT place{};
  GetWindowRect(static_cast<HWND>(form.Handle()), &place);
  {
    std::ofstream signal(g_signal + ".part");
    signal << name << ' ' << place.left << ' ' << place.top << ' ' << place.right - place.left
           << ' ' << place.bottom - place.top << '\n';
  }
  MoveFileW(std::wstring(g_signal.begin(), g_signal.end()).append(L".part").c_str(),
            std::wstring(g_signal.begin(), g_signal.end()).c_str());
  while (GetFileAttributesA(g_signal.c_str()) != INVALID_FILE_ATTRIBUTES) {
    platform::DoEvents();
    platform::Idle(20);
  }
}

// Runs Step on the alert's controls at the times given (milliseconds after the call).
struct Script {
  platform::Timer timer{"script", 100};
  uint32_t start = 0;
  int next = 0;
};

const StartupEntry kEntry{"SuperUpdater",
                          "\"C:\\Program Files\\Super Tools\\Updater\\superupdate.exe\" "
                          "/background /check-every 3600",
                          "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", kKindRegistry};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  g_signal = __argv[1] ? __argv[1] : "gallery-ready";
  LoopbackPeer community;
  community.SetResponder([](const std::string& request) -> std::string {
    if (request.find("report=") != std::string::npos)
      return "HTTP/1.0 200 OK\r\n\r\nthanks";
    return "HTTP/1.0 200 OK\r\n\r\n3 records<br>1|superupdate.exe|rachel|al"
           "<br>2|superupdate.exe|tomasz|al<br>3|supdate.exe|anna|al<br>4|superupdate.exe|li|bl";
  });
  SetServerAddressForTesting(community.Address());
  WriteRegValue(kSettingsKey, "chkAuto_BlockChk(0)", "0");
  DeleteRegValue(kSettingsKey, "Hscroll1(0)");

  frmAlert& alert = frmAlert::Default();
  const std::string digest = "5D41402ABC4B2A76B9719D911017C592";
  const std::string info =
      "Unknown File - superupdate.exe 1.4.2, Super Tools Ltd., 2.1 MB, first seen today";

  // The question, then the community panel.
  Script asking;
  asking.timer.on_timer = [&] {
    frmAlert::Controls* c = alert.controls();
    // Timer2 starts once the window has slid in.
    if (!c || asking.next > 0 || !c->Timer2.Enabled())
      return;
    asking.next = 1;
    Picture("alert-question", c->form);
    // Brought forward, the first button has the focus; Tab moves it to Allow.
    SetForegroundWindow(static_cast<HWND>(c->form.Handle()));
    platform::DoEvents();
    c->form.PressKey(platform::Key::kTab);
    Picture("alert-keys", c->form);
    c->CtlCommunity.Click();
    Picture("alert-community", c->form);
    c->CtlOK.Click();
    c->CtlAllow.Click();
  };
  asking.timer.SetEnabled(true);
  bool block = false;
  alert.ShowAlert(kEntry, block, false, "?", info, "superupdate.exe", digest);
  asking.timer.SetEnabled(false);

  // The countdown.
  Script counting;
  counting.timer.on_timer = [&] {
    frmAlert::Controls* c = alert.controls();
    if (!c || counting.next > 0 || c->Label2.Caption().find("27") == std::string::npos)
      return;
    counting.next = 1;
    Picture("alert-countdown", c->form);
    c->CtlBlock.Click();
  };
  counting.timer.SetEnabled(true);
  StartupEntry task{"Adobe Updater Startup Utility", "C:\\Users\\Public\\ad0be\\updater.exe",
                    "C:\\Users\\anna\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
                    "\\Startup\\Adobe Updater.lnk",
                    kKindFile};
  alert.ShowAlert(task, block, true, "N", "Not needed, Block it", "updater.exe", digest);
  counting.timer.SetEnabled(false);

  // A red notice.
  Script notice;
  notice.timer.on_timer = [&] {
    frmAlert::Controls* c = alert.controls();
    // Timer1 starts once the window has slid in.
    if (!c || notice.next > 0 || !c->Timer1.Enabled())
      return;
    notice.next = 1;
    Picture("alert-notice", c->form);
    c->Timer1.SetEnabled(false);  // the notice need not stay its 30 seconds
  };
  notice.timer.SetEnabled(true);
  alert.ShowAlert2(
      "Found a setting change and fixed some of them! It might be a spyware or harmful file in "
      "your system. Please scan your computer with a antivirus and antispyware!",
      255);
  notice.timer.SetEnabled(false);

  // The options window, page by page, as a fresh machine has it.
  DeleteRegValue(kSettingsKey, "chkAuto_BlockChk(0)");
  frmOptions& options = frmOptions::Default();
  options.Show();
  frmOptions::Controls& o = *options.controls();
  Picture("options-manage", o.form);
  o.List1.SetListIndex(1);
  Picture("options-blocking", o.form);
  o.List1.SetListIndex(2);
  Picture("options-misc", o.form);

  // Opened without an administrator's rights: the buttons that need them carry the shield.
  options.Unload();
  platform::SetElevationForTesting(platform::ElevationType::kLimited);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, true);
  options.Show();
  Picture("options-manage-limited", options.controls()->form);
  platform::SetRootReadOnlyForTesting(platform::RegRoot::LocalMachine, false);
  options.controls()->form.Hide();

  // The Blocked Entries window with a backup of each kind: msconfig's for a Run value
  // and a Startup shortcut, one of msconfig's own without a time, and Runwarden's own.
  const std::string reg = std::string(kStartupRegBackupKey) + "\\SuperUpdater";
  const std::string old = std::string(kStartupRegBackupKey) + "\\QuickTime Task";
  const std::string folder =
      std::string(kStartupFolderBackupKey) +
      "\\C:^Users^anna^AppData^Roaming^Microsoft^Windows^Start Menu^Programs^Startup^Adobe "
      "Updater.lnk";
  const std::vector<std::pair<std::string, std::vector<std::pair<const char*, std::string>>>>
      backups = {
          {reg,
           {{"item", "superupdate.exe"},
            {"command", kEntry.Command},
            {"hkey", "HKLM"},
            {"key", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"}}},
          {old,
           {{"item", "qttask.exe"},
            {"command", "\"C:\\Program Files\\QuickTime\\qttask.exe\" -atboottime"},
            {"hkey", "HKLM"},
            {"key", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"}}},
          {folder,
           {{"backup", "C:\\windows\\pss\\Adobe Updater.lnk"},
            {"item", "Adobe Updater Startup Utility"},
            {"command", task.Command},
            {"path", task.Location}}},
      };
  for (const auto& [key, values] : backups)
    for (const auto& [name, text] : values)
      WriteRegValue(key, name, text);
  const std::pair<std::string, platform::LocalTime> times[] = {{reg, {2026, 12, 6, 21, 7, 9}},
                                                               {folder, {2026, 12, 5, 8, 12, 40}}};
  for (const auto& [key, time] : times) {
    const int parts[] = {time.year, time.month, time.day, time.hour, time.minute, time.second};
    const char* names[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
    for (int i = 0; i < 6; ++i)
      WriteRegValue(key, names[i], std::to_string(parts[i]), true);
  }
  OwnBackup userinit;
  userinit.kind = kBackupKindValue;
  userinit.name = "Userinit";
  userinit.command = "C:\\Windows\\system32\\userinit.exe,C:\\Users\\Public\\svch0st.exe";
  userinit.location = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Userinit";
  userinit.time = {2026, 12, 7, 10, 2, 31};
  userinit.reg_key = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  userinit.reg_value = "Userinit";
  userinit.data = {platform::kRegSz, userinit.command + '\0'};
  const std::string own = WriteOwnBackup(userinit);
  frmBlocked& blocked = frmBlocked::Default();
  blocked.Show();
  blocked.controls()->List1.SetListIndex(1);
  Picture("blocked-entries", blocked.controls()->form);
  blocked.Unload();
  for (const std::string& key : {reg, old, folder, own})
    DeleteRegTree(key);
  {
    std::ofstream done(g_signal);
    done << "done\n";
  }
  return 0;
}
