// Headless windows: message boxes are answered by the test responder (or with OK and
// a line on stderr), translucency is remembered per window, and the forms' controls
// are their properties alone. A screen of 1280 x 1024 pixels at 96 dpi.
#include <cstdio>
#include <map>

#include "platform/common/test_switches.h"
#include "platform/common/window_peer.h"
#include "platform/events.h"
#include "platform/portable/event_loop.h"
#include "platform/window.h"

namespace platform {
namespace {

// Never destroyed: forms in statics may still go while the program ends.
std::map<WindowHandle, uint8_t>& Alphas() {
  static auto* alphas = new std::map<WindowHandle, uint8_t>;
  return *alphas;
}

// A form's frame as a classic Windows theme draws it: a 3-pixel border, and a 23-pixel
// caption on a form that has one.
constexpr int32_t kFrame = 3;
constexpr int32_t kCaption = 23;

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, uint32_t style) {
  std::string caption = title.empty() ? "Runwarden" : title;
  if (const MessageBoxResponder& responder = test_switches::MessageBoxes())
    return responder(text, caption, style);
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  return kIdOk;
}

bool SetLayeredAlpha(WindowHandle window, uint8_t alpha) {
  if (!window)
    return false;
  Alphas()[window] = alpha;
  return true;
}

bool GetLayeredAlpha(WindowHandle window, uint8_t* alpha) {
  auto found = Alphas().find(window);
  if (found == Alphas().end())
    return false;
  *alpha = found->second;
  return true;
}

int32_t TextWidth(const Font&, const std::string& text) {
  int32_t characters = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
      ++characters;
  // 7 pixels each at 96 dpi: text keeps its size in inches, as its font in points.
  return characters * 7 * kTwipsPerPixelAt96Dpi;
}

void ListenForSessionEnd() {}

namespace peer {

void Create(Control&) {}

void Destroy(Control& control) {
  if (control.kind() == ControlKind::kForm) {
    Alphas().erase(&control);
    static_cast<Form&>(control).set_open(false);
  }
}

void Update(Control&, Change) {}

WindowHandle Handle(const Control& control) {
  if (control.kind() == ControlKind::kShape || control.kind() == ControlKind::kImage)
    return nullptr;
  if (!const_cast<Control&>(control).form().Open())
    return nullptr;
  return const_cast<Control*>(&control);
}

// Where a window system would have it: the model's twips in the screen's pixels.
PixelRect Placed(const Control& control) {
  if (!Handle(control))
    return {};
  return {TwipsToPixels(control.Left()), TwipsToPixels(control.Top()),
          TwipsToPixels(control.Width()), TwipsToPixels(control.Height())};
}

void Repaint(Control& control) {
  if (!control.on_paint)
    return;
  control.set_paint_surface(&control);
  control.on_paint();
  control.set_paint_surface(nullptr);
}

void OuterSize(Form::Border border, int32_t* width, int32_t* height) {
  if (border == Form::Border::kNone)
    return;
  *width += 2 * kFrame;
  *height += 2 * kFrame + kCaption;
}

int32_t SystemDpi() {
  return 96;
}

int32_t ScreenWidthPixels() {
  return 1280;
}
int32_t ScreenHeightPixels() {
  return 1024;
}

bool GradientFill(DeviceContext surface, const GradientVertex&, const GradientVertex&, uint32_t) {
  return surface != nullptr;
}

void WaitForMessage(uint32_t timeout_milliseconds) {
  portable::EventLoop::Instance().Wait(timeout_milliseconds);
}

}  // namespace peer
}  // namespace platform
