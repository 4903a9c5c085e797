#include "ui/BlockedEntriesWindow.h"

#include <algorithm>

#include "app/ErrorScope.h"
#include "platform/system.h"
#include "ui/Gradient.h"

namespace {

using platform::Control;
using platform::ControlKind;

using platform::Px;

constexpr uint32_t kInk = 0x4A2A10;

const platform::Font kText{"Verdana", 8, false};
const platform::Font kBold{"Verdana", 8, true};

// Where the columns start, in pixels from the list's left edge; a field keeps a gap of
// kColumnGap pixels to the next one.
constexpr int32_t kCommandColumn = 150;
constexpr int32_t kLocationColumn = 410;
constexpr int32_t kDateColumn = 600;
constexpr int32_t kColumnGap = 10;

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

void Button(Control& button, const std::string& caption, int32_t left, int32_t top) {
  Place(button, left, top, 100, 26);
  button.SetCaption(caption);
  button.SetForeColor(kInk);
}

// Texts are UTF-8: cuts count characters, never bytes of one.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> characters;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) == 0x80 && !characters.empty())
      characters.back() += c;
    else
      characters.emplace_back(1, c);
  }
  return characters;
}

std::string Join(const std::vector<std::string>& characters, std::size_t from, std::size_t to) {
  std::string text;
  for (std::size_t i = from; i < to; ++i)
    text += characters[i];
  return text;
}

// A field on one line: control characters (a tab would open a column) as blanks.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20)
      c = ' ';
  return text;
}

bool Fits(const std::string& text, int32_t pixels) {
  return platform::TextWidth(kText, text) <= Px(pixels);
}

// The largest count up to Most whose Cut fits the width; 0 when none does.
template <class Cut>
std::size_t LongestFitting(std::size_t most, int32_t pixels, const Cut& cut) {
  std::size_t low = 0, high = most;
  while (low < high) {
    std::size_t middle = (low + high + 1) / 2;
    if (Fits(cut(middle), pixels))
      low = middle;
    else
      high = middle - 1;
  }
  return low;
}

// The text when it fits the width, else as much of its start as fits with "...".
std::string CutEnd(const std::string& text, int32_t pixels) {
  std::string line = OneLine(text);
  if (Fits(line, pixels))
    return line;
  std::vector<std::string> characters = Characters(line);
  auto cut = [&characters](std::size_t count) { return Join(characters, 0, count) + "..."; };
  return cut(LongestFitting(characters.size(), pixels, cut));
}

// A path keeps its start and its end, where the names are: "HKCU\Software\...\Run".
std::string CutMiddle(const std::string& text, int32_t pixels) {
  std::string line = OneLine(text);
  if (Fits(line, pixels))
    return line;
  std::vector<std::string> characters = Characters(line);
  std::size_t size = characters.size();
  auto cut = [&characters, size](std::size_t count) {
    std::size_t head = count / 3;
    return Join(characters, 0, head) + "..." + Join(characters, size - (count - head), size);
  };
  return cut(LongestFitting(size, pixels, cut));
}

std::string Quoted(const std::string& text) {
  std::string quoted(1, '\'');
  quoted += text;
  quoted += '\'';
  return quoted;
}

std::string DateText(const platform::LocalTime& time) {
  return time.year ? platform::FormatGeneralDate(time) : "unknown";
}

}  // namespace

std::string BlockedRowText(const BlockedBackup& backup) {
  return CutEnd(backup.name.empty() ? "(unnamed)" : backup.name, kCommandColumn - kColumnGap) +
         "\t" + CutEnd(backup.command, kLocationColumn - kCommandColumn - kColumnGap) + "\t" +
         CutMiddle(backup.location, kDateColumn - kLocationColumn - kColumnGap) + "\t" +
         DateText(backup.time);
}

frmBlocked::Controls::Controls(frmBlocked& owner)
    : form("frmBlocked", platform::Form::Border::kFixedSingle),
      lblTitle(form, ControlKind::kLabel, "lblTitle"),
      lblName(form, ControlKind::kLabel, "lblName"),
      lblCommand(form, ControlKind::kLabel, "lblCommand"),
      lblLocation(form, ControlKind::kLabel, "lblLocation"),
      lblDate(form, ControlKind::kLabel, "lblDate"),
      List1(form, ControlKind::kListBox, "List1"),
      lblDetails(form, ControlKind::kLabel, "lblDetails"),
      cmdRestore(form, ControlKind::kButton, "cmdRestore"),
      cmdDelete(form, ControlKind::kButton, "cmdDelete"),
      cmdClose(form, ControlKind::kButton, "cmdClose"),
      lblStatus(form, ControlKind::kLabel, "lblStatus") {
  form.SetCaption(kBlockedCaption);
  form.SetClientSize(Px(760), Px(420));
  form.on_paint = [this] { PaintGradient(form); };

  Text(lblTitle,
       "The entries Runwarden has blocked, newest first. Restore puts the selected one back as "
       "it was and takes it off the Blocked list; Delete removes its backup for good.",
       kText, 12, 10, 736, 28);
  // The headings stand over the columns (the list's frame and margin are 3 pixels).
  Text(lblName, "Name", kBold, 15, 46, 140, 15);
  Text(lblCommand, "Command", kBold, 15 + kCommandColumn, 46, 240, 15);
  Text(lblLocation, "Location", kBold, 15 + kLocationColumn, 46, 180, 15);
  Text(lblDate, "Blocked", kBold, 15 + kDateColumn, 46, 130, 15);

  Place(List1, 12, 64, 736, 232);
  List1.SetFont(kText);
  List1.SetForeColor(kInk);
  List1.SetTabStops({Px(kCommandColumn), Px(kLocationColumn), Px(kDateColumn)});
  List1.on_click = [&owner] { owner.List1_Click(); };

  Text(lblDetails, "", kText, 12, 304, 736, 66);

  Button(cmdRestore, "&Restore", 12, 380);
  Button(cmdDelete, "&Delete", 120, 380);
  Button(cmdClose, "&Close", 648, 380);
  cmdRestore.on_click = [&owner] { owner.cmdRestore_Click(); };
  cmdDelete.on_click = [&owner] { owner.cmdDelete_Click(); };
  cmdClose.on_click = [this] { form.Close(); };
  Text(lblStatus, "", kText, 230, 386, 410, 15);
}

frmBlocked::frmBlocked() = default;
frmBlocked::~frmBlocked() = default;

frmBlocked& frmBlocked::Default() {
  static frmBlocked instance;
  return instance;
}

void ShowBlockedEntriesWindow() {
  frmBlocked::Default().Show();
}

void frmBlocked::Show() {
  if (controls_ && controls_->form.Open()) {
    controls_->lblStatus.SetCaption("");
    FillList();
    controls_->form.Show();
    return;
  }
  controls_.reset();
  controls_ = std::make_unique<Controls>(*this);
  Form_Load();
}

void frmBlocked::Unload() {
  if (controls_)
    controls_->form.Close();
}

void frmBlocked::Form_Load() {
  ErrorScope error;
  Controls& c = *controls_;
  error.Try([&] {
    c.form.Move((platform::ScreenWidth() - c.form.Width()) / 2,
                (platform::ScreenHeight() - c.form.Height()) / 2, c.form.Width(), c.form.Height());
  });
  c.form.Show();
  error.Try([&] { FillList(); });
}

void frmBlocked::FillList() {
  Controls& c = *controls_;
  int32_t selected = c.List1.ListIndex();
  backups_ = ListBlockedBackups();
  c.List1.Clear();
  for (const BlockedBackup& backup : backups_)
    c.List1.AddItem(BlockedRowText(backup));
  int32_t count = c.List1.ListCount();
  c.List1.SetListIndex(count == 0 ? -1 : std::min(std::max(selected, 0), count - 1));
}

void frmBlocked::List1_Click() {
  Controls& c = *controls_;
  int32_t index = c.List1.ListIndex();
  bool chosen = index >= 0 && index < static_cast<int32_t>(backups_.size());
  c.cmdRestore.SetEnabled(chosen);
  c.cmdDelete.SetEnabled(chosen);
  if (!chosen) {
    c.lblDetails.SetCaption(backups_.empty() ? "Runwarden keeps no backup of a blocked entry."
                                             : "");
    return;
  }
  const BlockedBackup& backup = backups_[static_cast<std::size_t>(index)];
  std::string kept = backup.key + (backup.copy.empty() ? "" : ", the file " + backup.copy);
  c.lblDetails.SetCaption("Command: " + OneLine(backup.command) +
                          "\r\nLocation: " + OneLine(backup.location) +
                          "\r\nBlocked: " + DateText(backup.time) + "\r\nBackup: " + kept);
}

void frmBlocked::cmdRestore_Click() {
  Controls& c = *controls_;
  int32_t index = c.List1.ListIndex();
  if (index < 0 || index >= static_cast<int32_t>(backups_.size()))
    return;
  BlockedBackup backup = backups_[static_cast<std::size_t>(index)];
  std::string problem;
  if (RestoreBlockedBackup(backup, &problem)) {
    c.lblStatus.SetCaption(Quoted(CutEnd(backup.name, 200)) + " is back in its place.");
  } else {
    c.lblStatus.SetCaption("");
    platform::ShowMessageBox("Cannot restore '" + backup.name + "'.\r\n\r\n" + problem,
                             kBlockedCaption, platform::kMbOk | platform::kMbIconExclamation);
  }
  FillList();
}

void frmBlocked::cmdDelete_Click() {
  Controls& c = *controls_;
  int32_t index = c.List1.ListIndex();
  if (index < 0 || index >= static_cast<int32_t>(backups_.size()))
    return;
  BlockedBackup backup = backups_[static_cast<std::size_t>(index)];
  std::string question = "Delete the backup of '" + backup.name + "'?\r\n\r\n";
  if (!backup.copy.empty())
    question += "Its blocked file " + backup.copy + " is deleted with it. ";
  question += "The entry can no longer be restored, and stays blocked.";
  if (platform::ShowMessageBox(question, kBlockedCaption,
                               platform::kMbOkCancel | platform::kMbIconExclamation) !=
      platform::kIdOk)
    return;
  std::string problem;
  if (DeleteBlockedBackup(backup, &problem)) {
    c.lblStatus.SetCaption("The backup of " + Quoted(CutEnd(backup.name, 200)) + " is deleted.");
  } else {
    c.lblStatus.SetCaption("");
    platform::ShowMessageBox("Cannot delete the backup of '" + backup.name + "'.\r\n\r\n" + problem,
                             kBlockedCaption, platform::kMbOk | platform::kMbIconExclamation);
  }
  FillList();
}
