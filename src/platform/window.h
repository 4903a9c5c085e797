// Windows as the program needs them: message boxes, translucency, and a small forms
// runtime (forms, the controls placed on them, timers and the message loop).
//
// Forms and controls keep their properties themselves; the platform shows them. On
// Windows every form, label, button, check box, option button, text box, scroll bar,
// list box and picture box is a real window whose text is its caption; shapes and
// images are painted by the form or picture box they sit on. On the portable side the
// controls are headless: tests click them, press keys, move the pointer over them and
// tick their timers. Positions and sizes are in twips, 1/1440 of an inch, and are kept in
// whole pixels of the screen, as the window system keeps them: a pixel is 1440 / dpi
// twips (15 at 96 dpi, 12 at 120, 10 at 144), so a form keeps its size in inches, as its
// fonts in points do, on any screen.
//
// Everything runs on one thread. Events (click, change, paint, mouse move, timer) are
// called from inside DoEvents (platform/events.h), so a handler may itself wait while
// letting messages run; a timer whose handler is still running is not called again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

using WindowHandle = void*;
// A drawing surface, valid while a Paint event runs.
using DeviceContext = void*;

// A pixel of a 96 dpi screen (100%) in twips: the unit the forms are drawn in.
inline constexpr int32_t kTwipsPerPixelAt96Dpi = 15;
// A length the forms give in pixels of a 96 dpi screen, in twips: so a window keeps its
// size in inches on any screen, as its fonts in points do.
inline constexpr int32_t Px(int32_t pixels) {
  return pixels * kTwipsPerPixelAt96Dpi;
}

// Message box styles and answers, with the platform's numbers.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbIconCritical = 0x10;
inline constexpr uint32_t kMbIconExclamation = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Shows a modal message box and returns the button pressed. An empty title gives the
// program's default title.
int ShowMessageBox(const std::string& text, const std::string& title, uint32_t style);
// Answers message boxes instead of showing them (tests); an empty function restores them.
using MessageBoxResponder =
    std::function<int(const std::string& text, const std::string& title, uint32_t style)>;
void SetMessageBoxResponderForTesting(MessageBoxResponder responder);

// Adds the layered style to the window and sets its alpha (0 transparent, 255 opaque).
bool SetLayeredAlpha(WindowHandle window, uint8_t alpha);
// The alpha of a layered window; false when the window is not layered.
bool GetLayeredAlpha(WindowHandle window, uint8_t* alpha);

// The screen's size in twips.
int32_t ScreenWidth();
int32_t ScreenHeight();

// The screen's pixels per inch: the system's, read once (on Windows the program is
// "system aware"; a screen of another dpi gets its windows scaled by the system); 96 on
// the portable side.
int32_t ScreenDpi();
// Lays the forms out for a screen of this dpi instead (tests); 0 restores the system's.
// Forms made before keep the pixels they had.
void SetScreenDpiForTesting(int32_t dpi);
// Twips on the nearest whole pixel of the screen, and pixels in twips.
int32_t TwipsToPixels(int32_t twips);
int32_t PixelsToTwips(int32_t pixels);
// A twips value on the nearest whole pixel.
int32_t RoundToPixel(int32_t twips);

// A rectangle in pixels.
struct PixelRect {
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PixelRect&) const = default;
};

// A corner of a gradient: position in pixels, colour channels of 16 bits whose upper
// byte carries the 8-bit value (the platform's TRIVERTEX).
struct GradientVertex {
  int32_t x = 0, y = 0;
  int16_t red = 0, green = 0, blue = 0, alpha = 0;
  bool operator==(const GradientVertex&) const = default;
};
inline constexpr uint32_t kGradientFillRectH = 0;
inline constexpr uint32_t kGradientFillRectV = 1;
// Fills the rectangle between the two corners, shading from the first to the second.
bool GradientFillRect(DeviceContext surface,
                      const GradientVertex& upper_left,
                      const GradientVertex& lower_right,
                      uint32_t mode);
// Every gradient asked for since the last call, while recording is on (tests).
struct GradientFillCall {
  DeviceContext surface = nullptr;
  GradientVertex upper_left, lower_right;
  uint32_t mode = 0;
};
void RecordGradientFillsForTesting(bool record);
std::vector<GradientFillCall> TakeGradientFillsForTesting();

enum class ControlKind {
  kForm,
  kLabel,
  kButton,  // the skinned button: drawn by the program, its window text is its caption
  kCheckBox,
  kOptionButton,
  kTextBox,
  kHScrollBar,
  kListBox,
  kPictureBox,
  kShape,
  kImage,
};

struct Font {
  std::string name = "Verdana";
  int32_t points = 8;
  bool bold = false;
  bool operator==(const Font&) const = default;
};

// How wide Text is on one line in Font, in twips. The portable side has no fonts: 7
// pixels a character.
int32_t TextWidth(const Font& font, const std::string& text);

// A text drawn into a picture box, at a position in twips.
struct DrawnText {
  int32_t x = 0, y = 0;
  std::string text;
};

// Check box states.
inline constexpr int32_t kUnchecked = 0;
inline constexpr int32_t kChecked = 1;
inline constexpr int32_t kGrayed = 2;

inline constexpr int32_t kNotInArray = -1;

// Keys a form answers itself: Tab and Shift+Tab move the focus, Enter and Space press.
enum class Key { kTab, kShiftTab, kEnter, kSpace };

class Form;
struct ControlPeer;

class Control {
 public:
  // Placed on Container, a form or a picture box. A member of a control array has an
  // index; any other control kNotInArray.
  Control(Control& container, ControlKind kind, std::string name, int32_t index = kNotInArray);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  int32_t Index() const { return index_; }
  // "Form", "Label", "CommandButton", "CheckBox", "OptionButton", "TextBox",
  // "HScrollBar", "ListBox", "PictureBox", "Shape", "Image".
  std::string TypeName() const;
  Form& form() { return *form_; }
  Control* container() { return container_; }

  int32_t Left() const { return left_; }
  int32_t Top() const { return top_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetLeft(int32_t left) { Move(left, top_, width_, height_); }
  void SetTop(int32_t top) { Move(left_, top, width_, height_); }
  void SetWidth(int32_t width) { Move(left_, top_, width, height_); }
  void SetHeight(int32_t height) { Move(left_, top_, width_, height); }
  void Move(int32_t left, int32_t top, int32_t width, int32_t height);

  // The caption of a form, label, button, check box or option button; a text box's text.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  const std::string& ToolTipText() const { return tool_tip_; }
  void SetToolTipText(const std::string& text);
  // A button whose action needs administrator rights shows the UAC shield before its
  // caption.
  bool Shield() const { return shield_; }
  void SetShield(bool shield);

  // Whether the control is meant to be seen; a form shows with Show.
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Colours as 0x00BBGGRR.
  uint32_t ForeColor() const { return fore_color_; }
  void SetForeColor(uint32_t color);
  uint32_t BackColor() const { return back_color_; }
  void SetBackColor(uint32_t color);
  // A label or check box without a back colour of its own shows what lies behind it.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool transparent);
  // Shapes: a frame in the border colour, filled with the fill colour when Filled.
  uint32_t BorderColor() const { return border_color_; }
  void SetBorderColor(uint32_t color);
  uint32_t FillColor() const { return fill_color_; }
  void SetFillColor(uint32_t color);
  bool Filled() const { return filled_; }
  void SetFilled(bool filled);
  // A picture box framed by a line in its border colour (a pop-up form always is).
  bool Framed() const { return framed_; }
  void SetFramed(bool framed);

  const Font& GetFont() const { return font_; }
  void SetFont(const Font& font);

  // Check box: kUnchecked, kChecked or kGrayed. Option button: 0 or 1; selecting one
  // clears the others in the same container. Scroll bar: its position, Min to Max.
  // Setting a value out of range throws std::out_of_range ("Invalid property value").
  // A change fires Change (scroll bar) or Click (check box, option button).
  int32_t Value() const { return value_; }
  void SetValue(int32_t value);
  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  int32_t SmallChange() const { return small_change_; }
  int32_t LargeChange() const { return large_change_; }
  void SetRange(int32_t min, int32_t max, int32_t small_change, int32_t large_change);

  // List box.
  void AddItem(const std::string& item);
  void Clear();
  int32_t ListCount() const { return static_cast<int32_t>(items_.size()); }
  const std::string& List(int32_t index) const { return items_.at(index); }
  // -1 when nothing is selected. Selecting fires Click.
  int32_t ListIndex() const { return list_index_; }
  void SetListIndex(int32_t index);
  // Where the columns of a list box start, in twips from its left edge: a tab in an item
  // moves the text on to the next column.
  void SetTabStops(std::vector<int32_t> twips);
  const std::vector<int32_t>& TabStops() const { return tab_stops_; }

  // Picture box: clears what was drawn, draws a text at a position in twips.
  void Cls();
  void Print(int32_t x, int32_t y, const std::string& text);
  const std::vector<DrawnText>& DrawnTexts() const { return drawn_; }
  // The surface to draw on while Paint runs; nullptr at any other time.
  DeviceContext Hdc() const { return paint_surface_; }
  // Paints the control again now (runs its Paint event).
  void Refresh();

  // Brings the control in front of the other controls of its container.
  void ZOrder();
  // Larger is further in front.
  uint64_t ZPosition() const { return z_position_; }

  // The window behind a form or a windowed control; nullptr for shapes and images and
  // after the form was closed.
  WindowHandle Handle() const;
  // Where the window system has the form or windowed control, in pixels: a form's outer
  // rectangle on the screen, a control's within its container's inside (tests).
  PixelRect PlacedPixels() const;

  // Events.
  std::function<void()> on_click;
  std::function<void()> on_change;
  std::function<void()> on_paint;
  std::function<void(int32_t x, int32_t y)> on_mouse_move;  // twips

  // What a user does, for the window system and for tests. Nothing happens while the
  // control or its form is disabled, or the control is hidden.
  void Click();
  void MouseMove(int32_t x, int32_t y);

  // Keyboard. A button, check box, option button, text box, scroll bar or list box can
  // take the focus while a click would reach it: it is live, inside the area of its
  // container, and no visible picture box in front of it (a page, a panel) covers it.
  bool CanTakeFocus() const;
  // Gives it the focus within its form; the keyboard's once the form is active.
  void SetFocus();
  // The letter the caption of a button, check box or option button marks with "&"
  // (Alt and the letter press it; "&&" is a plain "&"), lower case; 0 when none.
  char AccessKey() const;

  // For the platform implementations.
  ControlPeer* peer() const { return peer_; }
  void set_peer(ControlPeer* peer) { peer_ = peer; }
  void set_paint_surface(DeviceContext surface) { paint_surface_ = surface; }
  // A value changed by the user in the window; fires the control's event.
  void ValueChangedByUser(int32_t value);
  void TextChangedByUser(const std::string& text);
  const std::vector<std::string>& Items() const { return items_; }
  std::vector<Control*>& children() { return children_; }
  void set_geometry(int32_t left, int32_t top, int32_t width, int32_t height);

 protected:
  // A form: top-level, no container.
  Control(Form& form, std::string name);

 private:
  void Register();
  bool Live() const;
  void FireChange();

  ControlKind kind_;
  std::string name_;
  int32_t index_ = kNotInArray;
  Form* form_ = nullptr;
  Control* container_ = nullptr;
  std::vector<Control*> children_;

  int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string caption_, tool_tip_;
  bool visible_ = true, enabled_ = true, transparent_ = true, filled_ = false, framed_ = false;
  bool shield_ = false;
  uint32_t fore_color_ = 0x000000, back_color_ = 0xFFFFFF;
  uint32_t border_color_ = 0x000000, fill_color_ = 0x000000;
  Font font_;
  int32_t value_ = 0, min_ = 0, max_ = 32767, small_change_ = 1, large_change_ = 1;
  std::vector<std::string> items_;
  int32_t list_index_ = -1;
  std::vector<int32_t> tab_stops_;
  std::vector<DrawnText> drawn_;
  DeviceContext paint_surface_ = nullptr;
  uint64_t z_position_ = 0;
  ControlPeer* peer_ = nullptr;
};

class Form : public Control {
 public:
  enum class Border {
    kNone,         // a pop-up without caption or close box (the alert)
    kFixedSingle,  // caption, close box and minimise button, not resizable
  };

  Form(std::string name, Border border);
  ~Form() override;

  Border border() const { return border_; }
  // The size of the inside, without caption and frame, in twips; Width and Height are
  // the outer size.
  void SetClientSize(int32_t width, int32_t height);
  int32_t ClientWidth() const;
  int32_t ClientHeight() const;

  // Shows the form modeless (Visible).
  void Show();
  void Hide();
  // Keeps the form above all windows that are not topmost themselves.
  void SetTopMost();
  bool TopMost() const { return top_most_; }

  // Whether the window is there: from construction until it was closed.
  bool Open() const { return open_; }

  // The control that has the focus within the form; nullptr when none has.
  Control* ActiveControl() const { return active_control_; }
  // What the keyboard does, for the window system and tests. Tab and Shift+Tab move the
  // focus to the next or previous control that can take it, in the order the controls
  // were created, round the end; Enter presses the focused button, Space the focused
  // button, check box or option button. True when the key did something.
  bool PressKey(Key key);
  // Alt and a letter: the control that can take the focus and marks that letter in its
  // caption takes it and is pressed. True when one was.
  bool PressAccessKey(char letter);
  // The form became the active window (a click on it, Alt+Tab, the taskbar).
  std::function<void()> on_activate;
  void Activate();
  // What the close box, Alt+F4 and WM_CLOSE do: nothing when the form cannot be closed
  // or on_query_unload returns true (cancel); otherwise the window goes.
  void Close();
  bool closable = true;
  std::function<bool()> on_query_unload;

  // The controls placed on the form, in the order they were created.
  const std::vector<Control*>& Controls() const { return controls_; }

  // For the platform implementations.
  void AddControl(Control* control) { controls_.push_back(control); }
  void RemoveControl(Control* control);
  void set_open(bool open) { open_ = open; }
  // The window system moved the focus (a click on a button).
  void set_active_control(Control* control) { active_control_ = control; }
  // Runs on_query_unload, and Close's ending, without asking (the session ends).
  void QueryUnloadForSessionEnd();

 private:
  Border border_;
  bool top_most_ = false;
  bool open_ = false;
  std::vector<Control*> controls_;
  Control* active_control_ = nullptr;
};

// A timer calls on_timer every Interval milliseconds while enabled. A tick that comes
// while the handler still runs (waiting inside a wait loop) is dropped.
class Timer {
 public:
  explicit Timer(std::string name, uint32_t interval_milliseconds = 0);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  const std::string& Name() const { return name_; }
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t milliseconds);
  bool Enabled() const { return enabled_; }
  // Enabling starts a fresh interval.
  void SetEnabled(bool enabled);
  // True while on_timer runs.
  bool Running() const { return running_; }

  std::function<void()> on_timer;

  // For the event pump: fires when due. Returns true when it fired.
  bool FireIfDue(uint32_t now);
  uint32_t due() const { return due_; }

 private:
  std::string name_;
  uint32_t interval_ = 0;
  bool enabled_ = false;
  bool running_ = false;
  uint32_t due_ = 0;
};

// Runs the timers that are due (called by DoEvents).
void FireDueTimers();
// Milliseconds until the next enabled timer is due; UINT32_MAX when none is.
uint32_t MillisecondsToNextTimer();

// Forms whose window is open.
int OpenFormCount();
// Lets messages run for as long as a form is open; returns when the last one closed.
// When Windows ends the session, the open forms are asked to unload (so they save what
// they keep) and the process ends.
void RunMessageLoop();
// Makes sure the process hears of the session's end while it waits with no form open
// (a hidden window on Windows): the open forms are then asked to unload and the
// process ends.
void ListenForSessionEnd();

}  // namespace platform
