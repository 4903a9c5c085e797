#include "ui/AlertWindow.h"

#include <cstring>

#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Settings.h"
#include "app/OsVersion.h"
#include "guard/Rating.h"
#include "net/CommunityRating.h"
#include "platform/events.h"
#include "registry/Registry.h"
#include "ui/Gradient.h"
#include "ui/Transparency.h"

namespace {

using platform::Control;
using platform::ControlKind;

using platform::Px;

constexpr uint32_t kInk = 0x4A2A10;     // dark blue text
constexpr uint32_t kKeyInk = 0x707070;  // the grey of the field names
constexpr uint32_t kPanel = 0xFFF9F3;   // the community and notice panels
constexpr uint32_t kShadeTop = 0xFFFFFF;
constexpr uint32_t kShadeBottom = 0xF6E7D9;
constexpr uint32_t kFrame = 0x9C6A3C;
constexpr uint32_t kMarker = 0x2020D0;  // red
constexpr uint32_t kBlockedPart = 0x3C3CD8;
constexpr uint32_t kAllowedPart = 0x3CA83C;

const platform::Font kLabelFont{"Verdana", 8, false};
const platform::Font kBoldFont{"Verdana", 8, true};

// Texts are UTF-8: lengths and cuts count characters, never bytes of one.
bool ContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

int32_t CharacterCount(const std::string& text) {
  int32_t count = 0;
  for (char c : text)
    if (!ContinuationByte(c))
      ++count;
  return count;
}

std::string LastCharacters(const std::string& text, int32_t count) {
  std::size_t start = text.size();
  while (start > 0 && count > 0) {
    --start;
    if (!ContinuationByte(text[start]))
      --count;
  }
  return text.substr(start);
}

// "True"/"False" in any case, or a number (not zero is true), as a Boolean.
bool TextToBoolean(const std::string& text) {
  if (EqualsIgnoringCase(text, "True"))
    return true;
  if (EqualsIgnoringCase(text, "False"))
    return false;
  return TextToInt32(text) != 0;
}

void Place(Control& control, int32_t left, int32_t top, int32_t width, int32_t height) {
  control.Move(Px(left), Px(top), Px(width), Px(height));
}

void Label(Control& label,
           const std::string& caption,
           const platform::Font& font,
           uint32_t ink,
           int32_t left,
           int32_t top,
           int32_t width,
           int32_t height) {
  label.SetCaption(caption);
  label.SetFont(font);
  label.SetForeColor(ink);
  Place(label, left, top, width, height);
}

bool PastTick(uint32_t tick) {
  return static_cast<int32_t>(platform::TickCount() - tick) >= 0;
}

}  // namespace

// ---- the window as designed ----

frmAlert::Controls::Controls(frmAlert& owner)
    : form("frmAlert", platform::Form::Border::kNone),
      lblTitle(form, ControlKind::kLabel, "lblTitle"),
      lblName(form, ControlKind::kLabel, "lblName"),
      lblCommand(form, ControlKind::kLabel, "lblCommand"),
      lblLocation(form, ControlKind::kLabel, "lblLocation"),
      lblRating(form, ControlKind::kLabel, "lblRating"),
      Label1_1(form, ControlKind::kLabel, "Label1", 1),
      Label1_2(form, ControlKind::kLabel, "Label1", 2),
      Label1_3(form, ControlKind::kLabel, "Label1", 3),
      Label1_5(form, ControlKind::kLabel, "Label1", 5),
      Shape1(form, ControlKind::kShape, "Shape1"),
      Shape2(form, ControlKind::kShape, "Shape2"),
      Picture2(form, ControlKind::kPictureBox, "Picture2"),
      Shape3(form, ControlKind::kShape, "Shape3"),
      CtlCommunity(form, ControlKind::kButton, "CtlCommunity"),
      CtlAllow(form, ControlKind::kButton, "CtlAllow"),
      CtlBlock(form, ControlKind::kButton, "CtlBlock"),
      CtlBlockForever(form, ControlKind::kButton, "CtlBlockForever"),
      Label2(form, ControlKind::kLabel, "Label2"),
      fr_comm(form, ControlKind::kPictureBox, "fr_comm"),
      Label3(fr_comm, ControlKind::kLabel, "Label3"),
      List1(fr_comm, ControlKind::kListBox, "List1"),
      Label5(fr_comm, ControlKind::kLabel, "Label5"),
      progress(fr_comm, ControlKind::kShape, "progress"),
      Image4(fr_comm, ControlKind::kImage, "Image4"),
      Image5(fr_comm, ControlKind::kImage, "Image5"),
      Label6(fr_comm, ControlKind::kLabel, "Label6"),
      CtlOK(fr_comm, ControlKind::kButton, "CtlOK"),
      Picture1(form, ControlKind::kPictureBox, "Picture1"),
      Label4(Picture1, ControlKind::kLabel, "Label4"),
      Label1_0(Picture1, ControlKind::kLabel, "Label1", 0),
      Timer1("Timer1", 1000),
      Timer2("Timer2", 10) {
  form.SetCaption(kAlertCaption);
  form.SetBorderColor(kFrame);
  form.closable = false;  // only a button or the countdown may end the wait
  form.on_paint = [this] {
    FillGradient(
        form.Hdc(),
        {0, 0, platform::TwipsToPixels(form.Width()), platform::TwipsToPixels(form.Height())},
        kShadeTop, kShadeBottom, true);
  };
  form.on_mouse_move = [&owner](int32_t x, int32_t y) { owner.Form_MouseMove(x, y); };
  form.on_activate = [&owner] { owner.Form_Activate(); };

  Label(lblTitle, "Runwarden: a program wants to start with Windows", kBoldFont, kInk, 6, 4, 428,
        15);
  Label(lblName, "Name", kLabelFont, kKeyInk, 6, 24, 62, 14);
  Label(lblCommand, "Command", kLabelFont, kKeyInk, 6, 40, 62, 14);
  Label(lblLocation, "Location", kLabelFont, kKeyInk, 6, 56, 62, 14);
  Label(lblRating, "Rating", kLabelFont, kKeyInk, 6, 74, 62, 14);
  // Wide enough for the 60 characters a field shows at most.
  Label(Label1_1, "NONE", kBoldFont, kInk, 70, 24, 366, 14);
  Label(Label1_2, "NONE", kLabelFont, kInk, 70, 40, 366, 14);
  Label(Label1_3, "NONE", kLabelFont, kInk, 70, 56, 366, 14);
  Label(Label1_5, "", kLabelFont, kInk, 178, 74, 258, 14);

  Place(Shape1, 70, 76, 100, 10);
  Shape1.SetBorderColor(0x808080);
  Place(Shape2, 70, 76, 100, 10);
  Shape2.SetFilled(true);

  Place(Picture2, 6, 92, 428, 18);
  Picture2.SetBackColor(0xFFFFFF);
  Picture2.SetForeColor(kInk);
  Picture2.SetFont(kLabelFont);

  // "&" marks the access key: Alt+C, Alt+A, Alt+B, Alt+F.
  Place(CtlCommunity, 3, 116, 100, 24);
  CtlCommunity.SetCaption("&Community");
  Place(CtlAllow, 109, 116, 100, 24);
  CtlAllow.SetCaption("&Allow");
  Place(CtlBlock, 215, 116, 100, 24);
  CtlBlock.SetCaption("&Block");
  Place(CtlBlockForever, 321, 116, 116, 24);
  CtlBlockForever.SetCaption("Block &Forever");
  for (Control* button : {&CtlCommunity, &CtlAllow, &CtlBlock, &CtlBlockForever, &CtlOK})
    button->SetForeColor(kInk);
  CtlAllow.on_click = [&owner] { owner.Decision = 1; };
  CtlBlock.on_click = [&owner] { owner.Decision = 2; };
  CtlBlockForever.on_click = [&owner] { owner.Decision = 3; };
  CtlCommunity.on_click = [&owner] { owner.CtlCommunity_Click(); };

  // The marker frames the action the countdown will take.
  Shape3.Move(CtlBlock.Left() - 30, CtlBlock.Top() - 30, CtlBlock.Width() + 60,
              CtlBlock.Height() + 60);
  Shape3.SetBorderColor(kMarker);
  Shape3.SetVisible(false);

  Label(Label2, "", kBoldFont, kMarker, 6, 146, 428, 16);
  Label2.SetVisible(false);

  // The panel grows the window by less than the window may rise (550 twips) plus the
  // room left below it, so its OK button stays on the screen.
  Place(fr_comm, 0, 0, 440, 206);
  fr_comm.SetBackColor(kPanel);
  fr_comm.SetBorderColor(kFrame);
  fr_comm.SetFramed(true);
  fr_comm.SetVisible(false);
  Label(Label3, "Community Openions :", kBoldFont, kInk, 6, 5, 300, 15);
  Place(List1, 6, 22, 428, 96);
  List1.SetFont(kLabelFont);
  List1.SetForeColor(kInk);
  Label(Label5, "Overall Results :", kBoldFont, kInk, 6, 124, 300, 15);
  Place(progress, 6, 142, 300, 14);
  progress.SetBorderColor(0x808080);
  Image4.Move(progress.Left() + 30, progress.Top() + 30, 0, progress.Height() - 60);
  Image4.SetBackColor(kBlockedPart);
  Image5.Move(progress.Left() + 30, progress.Top() + 30, 0, progress.Height() - 60);
  Image5.SetBackColor(kAllowedPart);
  Label(Label6, "Please wait...", kLabelFont, kInk, 6, 162, 200, 15);
  Label6.SetVisible(false);
  Place(CtlOK, 354, 176, 80, 24);
  CtlOK.SetCaption("OK");
  CtlOK.on_click = [&owner] { owner.CtlOK_Click(); };

  Place(Picture1, 0, 0, 440, 56);
  Picture1.SetBackColor(kPanel);
  Picture1.SetBorderColor(kFrame);
  Picture1.SetFramed(true);
  Picture1.SetVisible(false);
  Label(Label4, "Runwarden Message", kBoldFont, kInk, 6, 6, 300, 15);
  Label1_0.SetFont(kLabelFont);
  Label1_0.Move(Px(6), Px(26), Px(428), 350);

  Timer1.on_timer = [&owner] { owner.Timer1_Timer(); };
  Timer2.on_timer = [&owner] { owner.Timer2_Timer(); };
}

Control& frmAlert::Controls::Label1(int32_t index) {
  switch (index) {
    case 0:
      return Label1_0;
    case 1:
      return Label1_1;
    case 2:
      return Label1_2;
    case 3:
      return Label1_3;
    default:
      return Label1_5;
  }
}

// ---- the default instance ----

frmAlert::frmAlert() = default;
frmAlert::~frmAlert() = default;

frmAlert& frmAlert::Default() {
  static frmAlert instance;
  return instance;
}

bool ShowAlert(const StartupEntry& data,
               bool& block,
               bool with_timer,
               const std::string& rating,
               const std::string& file_info,
               const std::string& file_name,
               const std::string& file_hash) {
  return frmAlert::Default().ShowAlert(data, block, with_timer, rating, file_info, file_name,
                                       file_hash);
}

void ShowAlert2(const std::string& message, uint32_t color) {
  frmAlert::Default().ShowAlert2(message, color);
}

ctlProgramSupport& AlertProgramSupport() {
  return frmAlert::Default().ctlProgramSupport1();
}
void HideAlert() {
  frmAlert::Default().Hide();
}
void UnloadAlert() {
  frmAlert::Default().Unload();
}

void frmAlert::Load() {
  if (controls_)
    return;
  controls_ = std::make_unique<Controls>(*this);
  Form_Load();
}

void frmAlert::Unload() {
  controls_.reset();
}

void frmAlert::Hide() {
  if (controls_)
    controls_->form.Hide();
}

void frmAlert::Form_Load() {
  ErrorScope error;
  error.Try([&] {
    controls_->Picture1.Move(0, 0, controls_->Picture1.Width(), controls_->Picture1.Height());
    controls_->fr_comm.Move(0, 0, controls_->fr_comm.Width(), controls_->fr_comm.Height());
    controls_->fr_comm.ZOrder();
  });
}

int32_t frmAlert::ButtonsHeight() const {
  return controls_->CtlCommunity.Top() + controls_->CtlCommunity.Height() + 40;
}

// ---- asking about an entry ----

bool frmAlert::ShowAlert(const StartupEntry& data,
                         bool& block,
                         bool with_timer,
                         const std::string& rating,
                         const std::string& file_info,
                         const std::string& file_name,
                         const std::string& file_hash) {
  ErrorScope error;
  bool result = false;
  block = false;
  Load();
  Controls& c = *controls_;

  error.Try([&] { c.CtlCommunity.SetEnabled(!file_hash.empty()); });
  NoticeMode = false;
  error.Try([&] {
    CommunityBeforeBlock = TextToBoolean(ReadRegValue(kSettingsKey, "chkAuto_BlockChk(0)", "1"));
  });
  WithTimer = with_timer;
  FileHash = file_hash;
  c.Label1(1).SetCaption(data.Name);
  c.Label1(2).SetCaption(data.Command);
  c.Label1(3).SetCaption(data.Location);
  Decision = 0;
  DecisionSeenAt = 0;
  error.Try([&] {
    c.form.SetHeight(ButtonsHeight());
    c.form.SetWidth(c.CtlBlockForever.Left() + c.CtlBlockForever.Width() + 40);
  });
  for (int32_t index : {1, 2, 3}) {
    Control& field = c.Label1(index);
    field.SetToolTipText(field.Caption());
    if (CharacterCount(field.Caption()) > 60)
      field.SetCaption("..." + LastCharacters(field.Caption(), 57));
  }
  error.Try([&] {
    int32_t colour = 0, percent = 0;
    c.Label1(5).SetCaption(DescribeRating(rating, colour, percent));
    c.Shape2.SetFillColor(static_cast<uint32_t>(colour));
    c.Shape2.SetBorderColor(static_cast<uint32_t>(colour));
    c.Shape2.SetWidth(c.Shape1.Width() / 100 * percent);
  });
  FileInfo = file_info;
  TickerOffset = 0;  // a new text starts at its beginning
  ticker_resting_ = false;
  platform::DoEvents();

  c.form.Hide();
  c.form.Show();
  SlideWindow(0, 0);
  CountdownSeconds = 30;
  if (WithTimer) {
    c.Shape3.SetVisible(true);
    SecondsLeft = -1;
    c.Label2.SetVisible(true);
    c.Timer1.SetEnabled(true);
  }
  c.Timer2.SetEnabled(true);

  while (true) {
    platform::DoEvents();
    platform::Idle(10);
    if (WithTimer && !c.Timer1.Enabled()) {
      // The count is over: the community may decide, else the entry is blocked. Without
      // a digest there is nothing to ask it about.
      if (CommunityBeforeBlock) {
        int32_t score = FileHash.empty() ? 0 : CommunityLookup(FileHash);
        error.Try([&] {
          if (score > 1) {
            c.Shape3.SetLeft(c.CtlAllow.Left() - 30);
            c.Label2.SetCaption(kCommunityPositive + std::to_string(score));
            Decision = 1;
          } else if (score == 0) {
            c.Label2.SetCaption(kCommunityNone);
            Decision = 2;
          } else if (score == 1) {
            c.Label2.SetCaption(kCommunityFew);
            Decision = 2;
          } else {
            c.Label2.SetCaption(kCommunityNegative);
            Decision = 2;
          }
        });
      }
      // The verdict stays readable; the buttons, disabled, no longer change it.
      DecisionSeenAt = platform::TickCount();
      WaitLettingEventsRun(5000);
      SlideWindow(1, 0);
      result = Decision == 1;
      block = false;
      Unload();
      return result;
    }
    if (!WithTimer) {
      c.Label2.SetVisible(false);
      c.Shape3.SetVisible(false);
    }
    if (Decision != 0)
      break;
  }
  DecisionSeenAt = platform::TickCount();

  SlideWindow(1, 0);
  block = Decision == 3;
  result = Decision == 1;
  c.Timer1.SetEnabled(false);
  c.Timer2.SetEnabled(false);
  error.Try([&] { ReportDecision(program_support_, FileHash, file_name, Decision == 1); });
  Decision = 0;
  Unload();
  return result;
}

// ---- notices ----

void frmAlert::ShowAlert2(const std::string& message, uint32_t color) {
  ErrorScope error;
  NoticeMode = true;
  Load();
  Controls& c = *controls_;
  Control& text = c.Label1(0);
  text.SetForeColor(color);
  text.SetCaption(message);
  int32_t length = CharacterCount(message);
  if (length > 60) {
    text.SetHeight(length / 60 * 200 + 350);
    c.Picture1.SetHeight(text.Top() + text.Height() + 100);
  }
  c.Picture1.ZOrder();
  c.Picture1.SetVisible(true);
  c.form.SetWidth(c.Picture1.Width());
  c.form.SetHeight(c.Picture1.Height());
  platform::DoEvents();
  c.form.Hide();
  c.form.Show();
  SlideWindow(0, 0);
  CountdownSeconds = 30;
  SecondsLeft = -1;
  c.Timer1.SetEnabled(true);
  while (true) {
    platform::DoEvents();
    platform::Idle(10);
    if (!c.Timer1.Enabled())
      break;
  }
  SlideWindow(1, 0);
  Unload();
}

// ---- events ----

void frmAlert::Timer1_Timer() {
  ErrorScope error;
  Controls& c = *controls_;
  auto countdown_line = [&] {
    c.Label2.SetCaption("Auto blocking in " + std::to_string(SecondsLeft) + " seconds...");
  };
  error.Try([&] {
    if (SecondsLeft < 0) {
      SecondsLeft = CountdownSeconds;
      c.Label2.SetVisible(true);
      countdown_line();
      if (!NoticeMode)
        AnimateHeight(c.Label2.Top() + c.Label2.Height() + 20, true);
    } else if (SecondsLeft > 1) {
      --SecondsLeft;
      countdown_line();
    } else if (SecondsLeft == 1) {
      // The count decides now, not the buttons.
      for (Control* button : {&c.CtlCommunity, &c.CtlAllow, &c.CtlBlock, &c.CtlBlockForever})
        button->SetEnabled(false);
      if (CommunityBeforeBlock) {
        c.Label2.SetCaption(kCheckingCommunity);
        platform::DoEvents();
        c.Timer1.SetEnabled(false);
      } else {
        c.Label2.SetCaption(kCountdownBlocked);
        c.Timer1.SetEnabled(false);
        if (!NoticeMode)
          AnimateHeight(ButtonsHeight(), false);
      }
    }
  });
  platform::DoEvents();
}

void frmAlert::Timer2_Timer() {
  ErrorScope error;
  Controls& c = *controls_;
  if (ticker_resting_ && !PastTick(ticker_rest_until_))
    return;
  ticker_resting_ = false;
  auto rest = [&](uint32_t milliseconds) {
    ticker_rest_until_ = platform::TickCount() + milliseconds;
    ticker_resting_ = true;
  };
  error.Try([&] {
    int32_t length = CharacterCount(FileInfo);
    if (length > 64) {
      c.Picture2.Cls();
      c.Picture2.Print(-TickerOffset, 10, FileInfo);
      if (TickerOffset == 0) {
        TickerOffset = 1;
        rest(2000);
      } else if (TickerOffset < length * 101) {
        TickerOffset += 10;
      } else {
        TickerOffset = 0;
        rest(3000);
      }
    } else {
      c.Picture2.Cls();
      c.Picture2.Print(10, 10, FileInfo);
      c.Timer2.SetEnabled(false);
    }
  });
}

// Someone is at the window: the countdown is cancelled for good, and the alert waits for a
// button. False when no countdown was running.
bool frmAlert::StopCountdown() {
  Controls& c = *controls_;
  if (c.Picture1.Visible() || !c.Timer1.Enabled())
    return false;
  WithTimer = false;
  c.Timer1.SetEnabled(false);
  return true;
}

void frmAlert::Form_MouseMove(int32_t, int32_t) {
  ErrorScope error;
  if (StopCountdown())
    AnimateHeight(ButtonsHeight(), false);
}

// Activated (a click, Alt+Tab, the taskbar) to be answered, maybe from the keyboard:
// the countdown stops as for the pointer. The window shrinks back to its buttons at once,
// not animated: an animation disables it, and the keys typed right after Alt+Tab (Alt
// still held, then A) would be lost.
void frmAlert::Form_Activate() {
  ErrorScope error;
  if (!StopCountdown())
    return;
  error.Try([&] {
    platform::Form& form = controls_->form;
    int32_t shrink = form.Height() - platform::RoundToPixel(ButtonsHeight());
    if (shrink > 0)
      form.Move(form.Left(), form.Top() + shrink, form.Width(), form.Height() - shrink);
  });
}

void frmAlert::CtlCommunity_Click() {
  ErrorScope error;
  Controls& c = *controls_;
  c.fr_comm.SetVisible(true);
  AnimateHeight(c.fr_comm.Height(), true);
  CommunityLookup(FileHash);
  c.Label6.SetVisible(false);
}

void frmAlert::CtlOK_Click() {
  ErrorScope error;
  controls_->fr_comm.SetVisible(false);
  AnimateHeight(ButtonsHeight(), false);
}

int32_t frmAlert::CommunityLookup(const std::string& hash) {
  Controls& c = *controls_;
  c.Label6.SetVisible(true);
  c.form.SetEnabled(false);
  c.List1.Clear();
  CommunityResult reply = ::CommunityLookup(program_support_, hash);
  for (const std::string& line : reply.lines)
    c.List1.AddItem(line);
  if (reply.allowed + reply.blocked >= 1) {
    CommunityBar bar =
        CommunityBarLayout(c.progress.Width(), c.Image4.Left(), reply.allowed, reply.blocked);
    c.Image4.SetWidth(bar.blocked_width);
    c.Image5.SetWidth(bar.allowed_width);
    c.Image5.SetLeft(bar.allowed_left);
  }
  c.form.SetEnabled(true);
  c.Label6.SetVisible(false);
  return reply.score;
}

// ---- animation ----

void frmAlert::AnimateHeight(int32_t new_height, bool grow) {
  Controls& c = *controls_;
  platform::Form& form = c.form;
  // Disabled while it moves (no clicks, no pointer); a lookup may have disabled it already.
  bool was_enabled = form.Enabled();
  form.SetEnabled(false);
  try {
    // Whole pixels, one at least per step: the window keeps its height in pixels, and a
    // smaller step would leave it where it was for ever.
    new_height = platform::RoundToPixel(new_height);
    auto short_of_goal = [&] {
      return grow ? form.Height() < new_height : form.Height() > new_height;
    };
    if (short_of_goal()) {
      int32_t target_top = platform::RoundToPixel(form.Top() + (grow ? -550 : 550));
      const int32_t pixel = platform::PixelsToTwips(1);
      while (short_of_goal()) {
        int32_t step = std::min(pixel, std::abs(new_height - form.Height()));
        int32_t top = form.Top();
        if (top > target_top)
          top -= std::min(pixel, top - target_top);
        if (top < target_top)
          top += std::min(pixel, target_top - top);
        form.Move(form.Left(), top, form.Width(), form.Height() + (grow ? step : -step));
        platform::DoEvents();
      }
    }
  } catch (...) {
    // Stops at the first failure; the window is enabled again below.
  }
  form.SetEnabled(was_enabled);
}

void frmAlert::SlideWindow(int32_t mode, int32_t opacity) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  platform::Form& window = controls_->form;
  const int32_t screen_height = platform::ScreenHeight();
  const int32_t screen_width = platform::ScreenWidth();
  error.Try([&] {
    if (opacity == 0)
      opacity = TransparencyAlpha(StoredTransparency());
  });
  error.Try([&] {
    if (mode == 0) {
      window.Move(screen_width - window.Width() - 100, screen_height, window.Width(),
                  window.Height());
      window.Show();
      platform::DoEvents();
      window.SetTopMost();
      if (GetOSMajorVersion() >= 5)
        SetWindowTransparency(window.Handle(), static_cast<int16_t>(opacity));
      int32_t step = 1;
      while (window.Top() >= 0.9 * screen_height - window.Height()) {
        step += 10;
        platform::Sleep(10);
        window.SetTop(window.Top() - step);
        platform::DoEvents();
      }
      step = 1;
      while (window.Top() <= 0.945 * screen_height - window.Height()) {
        step += 5;
        platform::Sleep(10);
        window.SetTop(window.Top() + step);
        platform::DoEvents();
      }
      return;
    }
    int32_t step = 1;
    while (window.Top() >= 0.86 * screen_height - window.Height()) {
      step += 10;
      platform::Sleep(10);
      platform::DoEvents();
      window.SetTop(window.Top() - step);
    }
    for (step = 0; step <= window.Height(); step += 10) {
      platform::Sleep(10);
      platform::DoEvents();
      window.SetTop(window.Top() + step);
      if (window.Top() > screen_height)
        break;
    }
  });
}

void frmAlert::WaitLettingEventsRun(uint32_t milliseconds) {
  uint32_t deadline = platform::TickCount() + milliseconds;
  while (!PastTick(deadline)) {
    platform::DoEvents();
    platform::Idle(10);
  }
}
