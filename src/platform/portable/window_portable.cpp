// Headless windows: message boxes are answered by the test responder (or with OK and
// a line on stderr), translucency is remembered per window.
#include "platform/window.h"
#include "platform/common/test_switches.h"

#include <cstdio>
#include <map>

namespace platform {
int ShowMessageBox(const std::string& text, const std::string& title, uint32_t style) {
  std::string caption = title.empty() ? "Runwarden" : title;
  if (const MessageBoxResponder& responder = test_switches::MessageBoxes())
    return responder(text, caption, style);
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  return kIdOk;
}

bool SetLayeredAlpha(WindowHandle window, uint8_t alpha) {
  static std::map<WindowHandle, uint8_t> alphas;
  if (!window) return false;
  alphas[window] = alpha;
  return true;
}

}  // namespace platform
