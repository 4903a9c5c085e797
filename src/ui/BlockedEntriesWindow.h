// frmBlocked, "Blocked Entries": one row per backup of a blocked entry (msconfig's keys
// and Runwarden's own), newest first, with its name, command, location and the date it
// was blocked; "Restore" puts the selected entry back, "Delete" removes its backup after
// asking, "Close" closes. The options window opens it where msconfig no longer shows its
// backups (Windows 8 and later) or cannot be found. The work is BlockedBackups'.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "guard/BlockedBackups.h"
#include "platform/window.h"

inline constexpr char kBlockedCaption[] = "Blocked Entries";

class frmBlocked {
 public:
  struct Controls;

  frmBlocked();
  ~frmBlocked();
  static frmBlocked& Default();

  // Loads the window, or lists the backups again and brings the open one to the front.
  void Show();
  void Unload();
  Controls* controls() { return controls_.get(); }
  // The backups behind the rows, in their order.
  const std::vector<BlockedBackup>& backups() const { return backups_; }

 private:
  void Form_Load();
  // Lists the backups afresh; the selection stays on the same row number where it can.
  void FillList();
  void List1_Click();
  void cmdRestore_Click();
  void cmdDelete_Click();

  std::unique_ptr<Controls> controls_;
  std::vector<BlockedBackup> backups_;
};

void ShowBlockedEntriesWindow();

// One row of the list: name, command, location and date, cut to their columns and
// parted by tabs.
std::string BlockedRowText(const BlockedBackup& backup);

struct frmBlocked::Controls {
  explicit Controls(frmBlocked& owner);

  platform::Form form;
  platform::Control lblTitle;
  platform::Control lblName, lblCommand, lblLocation, lblDate;
  platform::Control List1;
  platform::Control lblDetails;
  platform::Control cmdRestore, cmdDelete, cmdClose;
  platform::Control lblStatus;
};
