// The forms runtime's model: every property lives here, in twips, and every event is
// fired from here; the platform's peer only shows it (platform/common/window_peer.h).
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>

#include "platform/common/test_switches.h"
#include "platform/common/window_peer.h"
#include "platform/events.h"
#include "platform/window.h"

namespace platform {
namespace {

uint64_t NextZPosition() {
  static uint64_t counter = 0;
  return ++counter;
}

// Kept for the whole run (never destroyed): forms and timers that live in statics
// may still unregister while the program ends.
std::vector<Form*>& AllForms() {
  static auto* forms = new std::vector<Form*>;
  return *forms;
}

struct TimerSlot {
  Timer* timer;
  std::shared_ptr<bool> alive;
};

std::vector<TimerSlot>& AllTimers() {
  static auto* timers = new std::vector<TimerSlot>;
  return *timers;
}

bool g_record_gradients = false;
std::vector<GradientFillCall>& RecordedGradients() {
  static std::vector<GradientFillCall> calls;
  return calls;
}

[[noreturn]] void InvalidPropertyValue() {
  throw std::out_of_range("Invalid property value");
}

bool IsDue(uint32_t now, uint32_t due) {
  return static_cast<int32_t>(now - due) >= 0;
}

bool TakesFocus(ControlKind kind) {
  switch (kind) {
    case ControlKind::kButton:
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
    case ControlKind::kTextBox:
    case ControlKind::kHScrollBar:
    case ControlKind::kListBox:
      return true;
    default:
      return false;
  }
}

// Whether any of the control lies inside its container's area.
bool InsideContainer(const Control& control, const Control& container) {
  int32_t width = container.Width(), height = container.Height();
  if (container.kind() == ControlKind::kForm) {
    width = static_cast<const Form&>(container).ClientWidth();
    height = static_cast<const Form&>(container).ClientHeight();
  }
  return control.Left() < width && control.Top() < height && control.Left() + control.Width() > 0 &&
         control.Top() + control.Height() > 0;
}

bool Covers(const Control& front, const Control& behind) {
  return front.Left() <= behind.Left() && front.Top() <= behind.Top() &&
         front.Left() + front.Width() >= behind.Left() + behind.Width() &&
         front.Top() + front.Height() >= behind.Top() + behind.Height();
}

char LowerAscii(char letter) {
  return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
}

}  // namespace

int32_t ScreenDpi() {
  if (int32_t dpi = test_switches::ScreenDpi())
    return dpi;
  // Read once: the layout of every form follows it, and a form keeps what it was given.
  static const int32_t system = std::max(peer::SystemDpi(), 1);
  return system;
}

void SetScreenDpiForTesting(int32_t dpi) {
  test_switches::ScreenDpi() = std::max(dpi, 0);
}

// A pixel need not be a whole number of twips (7.5 at 192 dpi): a whole pixel is kept as
// the twips nearest to it, which come back to the same pixel.
int32_t TwipsToPixels(int32_t twips) {
  return static_cast<int32_t>(std::lround(static_cast<double>(twips) * ScreenDpi() / 1440));
}

int32_t PixelsToTwips(int32_t pixels) {
  return static_cast<int32_t>(std::lround(static_cast<double>(pixels) * 1440 / ScreenDpi()));
}

int32_t RoundToPixel(int32_t twips) {
  return PixelsToTwips(TwipsToPixels(twips));
}

int32_t ScreenWidth() {
  return PixelsToTwips(peer::ScreenWidthPixels());
}
int32_t ScreenHeight() {
  return PixelsToTwips(peer::ScreenHeightPixels());
}

bool GradientFillRect(DeviceContext surface,
                      const GradientVertex& upper_left,
                      const GradientVertex& lower_right,
                      uint32_t mode) {
  if (g_record_gradients)
    RecordedGradients().push_back({surface, upper_left, lower_right, mode});
  return peer::GradientFill(surface, upper_left, lower_right, mode);
}

void RecordGradientFillsForTesting(bool record) {
  g_record_gradients = record;
  RecordedGradients().clear();
}

std::vector<GradientFillCall> TakeGradientFillsForTesting() {
  std::vector<GradientFillCall> calls;
  calls.swap(RecordedGradients());
  return calls;
}

// ---- Control ----

Control::Control(Control& container, ControlKind kind, std::string name, int32_t index)
    : kind_(kind), name_(std::move(name)), index_(index), container_(&container) {
  form_ = container.kind_ == ControlKind::kForm ? static_cast<Form*>(&container) : container.form_;
  switch (kind_) {
    case ControlKind::kButton:
      font_ = Font{"Trebuchet MS", 9, true};
      back_color_ = 0xF0F0F0;
      transparent_ = false;
      break;
    case ControlKind::kTextBox:
    case ControlKind::kListBox:
    case ControlKind::kPictureBox:
      transparent_ = false;
      break;
    case ControlKind::kHScrollBar:
      transparent_ = false;
      max_ = 32767;
      break;
    default:
      break;
  }
  z_position_ = NextZPosition();
  container.children_.push_back(this);
  form_->AddControl(this);
  peer::Create(*this);
}

Control::Control(Form& form, std::string name)
    : kind_(ControlKind::kForm), name_(std::move(name)), form_(&form) {
  visible_ = false;
  transparent_ = false;
  back_color_ = 0xF0F0F0;
  z_position_ = NextZPosition();
}

Control::~Control() {
  // A form's window went in ~Form, while it still was a form.
  if (kind_ == ControlKind::kForm)
    return;
  peer::Destroy(*this);
  auto& siblings = container_->children_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  form_->RemoveControl(this);
}

std::string Control::TypeName() const {
  switch (kind_) {
    case ControlKind::kForm:
      return "Form";
    case ControlKind::kLabel:
      return "Label";
    case ControlKind::kButton:
      return "CommandButton";
    case ControlKind::kCheckBox:
      return "CheckBox";
    case ControlKind::kOptionButton:
      return "OptionButton";
    case ControlKind::kTextBox:
      return "TextBox";
    case ControlKind::kHScrollBar:
      return "HScrollBar";
    case ControlKind::kListBox:
      return "ListBox";
    case ControlKind::kPictureBox:
      return "PictureBox";
    case ControlKind::kShape:
      return "Shape";
    case ControlKind::kImage:
      return "Image";
  }
  return "";
}

void Control::Move(int32_t left, int32_t top, int32_t width, int32_t height) {
  left = RoundToPixel(left);
  top = RoundToPixel(top);
  width = std::max(0, RoundToPixel(width));
  height = std::max(0, RoundToPixel(height));
  if (left == left_ && top == top_ && width == width_ && height == height_)
    return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  peer::Update(*this, peer::Change::kGeometry);
}

void Control::set_geometry(int32_t left, int32_t top, int32_t width, int32_t height) {
  left_ = RoundToPixel(left);
  top_ = RoundToPixel(top);
  width_ = RoundToPixel(width);
  height_ = RoundToPixel(height);
}

void Control::SetCaption(const std::string& caption) {
  if (caption == caption_)
    return;
  caption_ = caption;
  peer::Update(*this, peer::Change::kCaption);
}

void Control::TextChangedByUser(const std::string& text) {
  if (text == caption_)
    return;
  caption_ = text;
  if (on_change)
    on_change();
}

void Control::SetToolTipText(const std::string& text) {
  if (text == tool_tip_)
    return;
  tool_tip_ = text;
  peer::Update(*this, peer::Change::kToolTip);
}

void Control::SetVisible(bool visible) {
  if (visible == visible_)
    return;
  visible_ = visible;
  peer::Update(*this, peer::Change::kVisible);
}

void Control::SetShield(bool shield) {
  if (shield == shield_)
    return;
  shield_ = shield;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_)
    return;
  enabled_ = enabled;
  peer::Update(*this, peer::Change::kEnabled);
}

void Control::SetForeColor(uint32_t color) {
  if (color == fore_color_)
    return;
  fore_color_ = color;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetBackColor(uint32_t color) {
  if (color == back_color_ && !transparent_)
    return;
  back_color_ = color;
  transparent_ = false;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetTransparent(bool transparent) {
  if (transparent == transparent_)
    return;
  transparent_ = transparent;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetBorderColor(uint32_t color) {
  border_color_ = color;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetFillColor(uint32_t color) {
  fill_color_ = color;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetFilled(bool filled) {
  filled_ = filled;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetFramed(bool framed) {
  framed_ = framed;
  peer::Update(*this, peer::Change::kColors);
}

void Control::SetFont(const Font& font) {
  if (font == font_)
    return;
  font_ = font;
  peer::Update(*this, peer::Change::kFont);
}

void Control::SetValue(int32_t value) {
  switch (kind_) {
    case ControlKind::kCheckBox:
      if (value < kUnchecked || value > kGrayed)
        InvalidPropertyValue();
      break;
    case ControlKind::kOptionButton:
      value = value != 0 ? 1 : 0;
      break;
    case ControlKind::kHScrollBar:
      if (value < min_ || value > max_)
        InvalidPropertyValue();
      break;
    default:
      break;
  }
  if (value == value_)
    return;
  value_ = value;
  peer::Update(*this, peer::Change::kValue);
  FireChange();
}

void Control::ValueChangedByUser(int32_t value) {
  if (kind_ == ControlKind::kHScrollBar)
    value = std::clamp(value, min_, max_);
  bool changed = value != value_;
  value_ = value;
  peer::Update(*this, peer::Change::kValue);
  if (changed || kind_ != ControlKind::kHScrollBar)
    FireChange();
}

void Control::FireChange() {
  if (kind_ == ControlKind::kOptionButton && value_ == 1) {
    for (Control* sibling : container_->children_) {
      if (sibling == this || sibling->kind_ != ControlKind::kOptionButton || !sibling->value_)
        continue;
      sibling->value_ = 0;
      peer::Update(*sibling, peer::Change::kValue);
    }
  }
  if (kind_ == ControlKind::kHScrollBar) {
    if (on_change)
      on_change();
    return;
  }
  if ((kind_ == ControlKind::kCheckBox || kind_ == ControlKind::kOptionButton) && on_click)
    on_click();
}

void Control::SetRange(int32_t min, int32_t max, int32_t small_change, int32_t large_change) {
  if (min > max)
    InvalidPropertyValue();
  min_ = min;
  max_ = max;
  small_change_ = small_change;
  large_change_ = large_change;
  value_ = std::clamp(value_, min_, max_);
  peer::Update(*this, peer::Change::kRange);
}

void Control::AddItem(const std::string& item) {
  items_.push_back(item);
  peer::Update(*this, peer::Change::kItems);
}

void Control::Clear() {
  items_.clear();
  list_index_ = -1;
  peer::Update(*this, peer::Change::kItems);
}

void Control::SetListIndex(int32_t index) {
  if (index < -1 || index >= ListCount())
    InvalidPropertyValue();
  list_index_ = index;
  peer::Update(*this, peer::Change::kListIndex);
  if (on_click)
    on_click();
}

void Control::SetTabStops(std::vector<int32_t> twips) {
  tab_stops_ = std::move(twips);
  peer::Update(*this, peer::Change::kTabStops);
}

void Control::Cls() {
  drawn_.clear();
  peer::Update(*this, peer::Change::kDrawing);
}

void Control::Print(int32_t x, int32_t y, const std::string& text) {
  drawn_.push_back({x, y, text});
  peer::Update(*this, peer::Change::kDrawing);
}

void Control::Refresh() {
  peer::Repaint(*this);
}

void Control::ZOrder() {
  z_position_ = NextZPosition();
  peer::Update(*this, peer::Change::kZOrder);
}

WindowHandle Control::Handle() const {
  return peer::Handle(*this);
}

PixelRect Control::PlacedPixels() const {
  return peer::Placed(*this);
}

bool Control::Live() const {
  if (!form_->Open())
    return false;
  for (const Control* control = this; control; control = control->container_) {
    if (!control->enabled_)
      return false;
    if (control->kind_ != ControlKind::kForm && !control->visible_)
      return false;
  }
  return true;
}

void Control::Click() {
  if (!Live())
    return;
  switch (kind_) {
    case ControlKind::kCheckBox:
      ValueChangedByUser(value_ == kUnchecked ? kChecked : kUnchecked);
      return;
    case ControlKind::kOptionButton:
      ValueChangedByUser(1);
      return;
    default:
      if (on_click)
        on_click();
  }
}

void Control::MouseMove(int32_t x, int32_t y) {
  if (!Live())
    return;
  if (on_mouse_move)
    on_mouse_move(x, y);
}

bool Control::CanTakeFocus() const {
  if (!TakesFocus(kind_) || !Live())
    return false;
  for (const Control* control = this; control->container_; control = control->container_) {
    if (!InsideContainer(*control, *control->container_))
      return false;
    for (const Control* sibling : control->container_->children_) {
      if (sibling != control && sibling->kind_ == ControlKind::kPictureBox && sibling->visible_ &&
          sibling->z_position_ > control->z_position_ && Covers(*sibling, *control))
        return false;
    }
  }
  return true;
}

void Control::SetFocus() {
  if (!CanTakeFocus())
    return;
  form_->set_active_control(this);
  peer::Update(*this, peer::Change::kFocus);
}

char Control::AccessKey() const {
  if (kind_ != ControlKind::kButton && kind_ != ControlKind::kCheckBox &&
      kind_ != ControlKind::kOptionButton)
    return 0;
  for (std::size_t at = caption_.find('&'); at != std::string::npos && at + 1 < caption_.size();
       at = caption_.find('&', at + 2)) {
    if (caption_[at + 1] != '&')
      return LowerAscii(caption_[at + 1]);
  }
  return 0;
}

// ---- Form ----

Form::Form(std::string name, Border border) : Control(*this, std::move(name)), border_(border) {
  open_ = true;
  AllForms().push_back(this);
  peer::Create(*this);
}

Form::~Form() {
  AllForms().erase(std::remove(AllForms().begin(), AllForms().end(), this), AllForms().end());
  for (Control* control : controls_)
    peer::Destroy(*control);
  peer::Destroy(*this);
  open_ = false;
}

void Form::RemoveControl(Control* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  if (active_control_ == control)
    active_control_ = nullptr;
}

bool Form::PressKey(Key key) {
  Control* focused = active_control_ && active_control_->CanTakeFocus() ? active_control_ : nullptr;
  switch (key) {
    case Key::kTab:
    case Key::kShiftTab: {
      std::vector<Control*> stops;
      for (Control* control : controls_)
        if (control->CanTakeFocus())
          stops.push_back(control);
      if (stops.empty())
        return false;
      auto at = std::find(stops.begin(), stops.end(), focused);
      Control* next = nullptr;
      if (key == Key::kTab)
        next = at == stops.end() || at + 1 == stops.end() ? stops.front() : *(at + 1);
      else
        next = at == stops.end() || at == stops.begin() ? stops.back() : *(at - 1);
      next->SetFocus();
      return true;
    }
    case Key::kEnter:
      if (!focused || focused->kind() != ControlKind::kButton)
        return false;
      focused->Click();
      return true;
    case Key::kSpace:
      if (!focused ||
          (focused->kind() != ControlKind::kButton && focused->kind() != ControlKind::kCheckBox &&
           focused->kind() != ControlKind::kOptionButton))
        return false;
      focused->Click();
      return true;
  }
  return false;
}

bool Form::PressAccessKey(char letter) {
  letter = LowerAscii(letter);
  if (letter == 0)
    return false;
  for (Control* control : controls_) {
    if (control->AccessKey() != letter || !control->CanTakeFocus())
      continue;
    control->SetFocus();
    control->Click();
    return true;
  }
  return false;
}

void Form::Activate() {
  if (open_ && on_activate)
    on_activate();
}

void Form::SetClientSize(int32_t width, int32_t height) {
  int32_t outer_width = TwipsToPixels(width);
  int32_t outer_height = TwipsToPixels(height);
  peer::OuterSize(border_, &outer_width, &outer_height);
  Move(Left(), Top(), PixelsToTwips(outer_width), PixelsToTwips(outer_height));
}

// The inside in whole pixels: the outer size less the frame's pixels.
int32_t Form::ClientWidth() const {
  int32_t frame_width = 0, frame_height = 0;
  peer::OuterSize(border_, &frame_width, &frame_height);
  return PixelsToTwips(std::max(0, TwipsToPixels(Width()) - frame_width));
}

int32_t Form::ClientHeight() const {
  int32_t frame_width = 0, frame_height = 0;
  peer::OuterSize(border_, &frame_width, &frame_height);
  return PixelsToTwips(std::max(0, TwipsToPixels(Height()) - frame_height));
}

void Form::Show() {
  SetVisible(true);
}
void Form::Hide() {
  SetVisible(false);
}

void Form::SetTopMost() {
  top_most_ = true;
  peer::Update(*this, peer::Change::kTopMost);
}

void Form::Close() {
  if (!open_ || !closable)
    return;
  if (on_query_unload && on_query_unload())
    return;
  open_ = false;
  for (Control* control : controls_)
    peer::Destroy(*control);
  peer::Destroy(*this);
}

void Form::QueryUnloadForSessionEnd() {
  if (open_ && on_query_unload)
    on_query_unload();
}

void peer::AskOpenFormsToUnload() {
  std::vector<Form*> forms = AllForms();
  for (Form* form : forms)
    form->QueryUnloadForSessionEnd();
}

int OpenFormCount() {
  return static_cast<int>(std::count_if(AllForms().begin(), AllForms().end(),
                                        [](const Form* form) { return form->Open(); }));
}

void RunMessageLoop() {
  while (OpenFormCount() > 0) {
    DoEvents();
    if (OpenFormCount() == 0)
      break;
    peer::WaitForMessage(MillisecondsToNextTimer());
  }
}

// ---- Timer ----

Timer::Timer(std::string name, uint32_t interval_milliseconds)
    : name_(std::move(name)), interval_(interval_milliseconds) {
  AllTimers().push_back({this, std::make_shared<bool>(true)});
}

Timer::~Timer() {
  auto& timers = AllTimers();
  for (auto slot = timers.begin(); slot != timers.end(); ++slot) {
    if (slot->timer != this)
      continue;
    *slot->alive = false;
    timers.erase(slot);
    break;
  }
}

void Timer::SetInterval(uint32_t milliseconds) {
  interval_ = milliseconds;
  due_ = TickCount() + interval_;
}

void Timer::SetEnabled(bool enabled) {
  if (enabled && !enabled_)
    due_ = TickCount() + interval_;
  enabled_ = enabled;
}

bool Timer::FireIfDue(uint32_t now) {
  if (!enabled_ || running_ || interval_ == 0 || !IsDue(now, due_))
    return false;
  due_ = now + interval_;
  if (!on_timer)
    return true;
  std::shared_ptr<bool> alive;
  for (const TimerSlot& slot : AllTimers())
    if (slot.timer == this)
      alive = slot.alive;
  // A copy: the handler may end this timer (and its function) while it runs.
  std::function<void()> handler = on_timer;
  running_ = true;
  handler();
  if (alive && *alive)
    running_ = false;
  return true;
}

void FireDueTimers() {
  std::vector<TimerSlot> timers = AllTimers();
  for (const TimerSlot& slot : timers) {
    if (!*slot.alive)
      continue;
    slot.timer->FireIfDue(TickCount());
  }
}

uint32_t MillisecondsToNextTimer() {
  uint32_t now = TickCount();
  uint32_t next = std::numeric_limits<uint32_t>::max();
  for (const TimerSlot& slot : AllTimers()) {
    const Timer& timer = *slot.timer;
    if (!timer.Enabled() || timer.Running() || timer.Interval() == 0)
      continue;
    uint32_t left = IsDue(now, timer.due()) ? 0 : timer.due() - now;
    next = std::min(next, left);
  }
  return next;
}

}  // namespace platform
