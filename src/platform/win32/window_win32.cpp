#include "platform/window.h"

#include <windows.h>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/common/test_switches.h"

namespace platform {
namespace {

// The program's default title: the executable's name without its extension.
std::string DefaultTitle() {
  std::string path = ModulePath();
  std::string name = path.substr(path.find_last_of('\\') + 1);
  std::string::size_type dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, uint32_t style) {
  std::string caption = title.empty() ? DefaultTitle() : title;
  if (const MessageBoxResponder& responder = test_switches::MessageBoxes())
    return responder(text, caption, style);
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style | MB_SETFOREGROUND);
}

bool SetLayeredAlpha(WindowHandle window, uint8_t alpha) {
  HWND hwnd = static_cast<HWND>(window);
  LONG style = GetWindowLongA(hwnd, GWL_EXSTYLE);
  SetWindowLongA(hwnd, GWL_EXSTYLE, style | WS_EX_LAYERED);
  return SetLayeredWindowAttributes(hwnd, 0, alpha, LWA_ALPHA) != 0;
}

}  // namespace platform
