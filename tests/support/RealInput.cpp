#include "support/RealInput.h"

#include <windows.h>

#include <cctype>
#include <vector>

void ClickAt(int x, int y) {
  SetCursorPos(x, y);
  INPUT click[2] = {};
  click[0].type = click[1].type = INPUT_MOUSE;
  click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, click, sizeof(INPUT));
}

void TypeKeys(const std::string& keys) {
  for (char key : keys) {
    WORD held = 0, tapped = 0;
    switch (key) {
      case 'T':
        tapped = VK_TAB;
        break;
      case 'S':
        held = VK_SHIFT, tapped = VK_TAB;
        break;
      case 'E':
        tapped = VK_RETURN;
        break;
      case '_':
        tapped = VK_SPACE;
        break;
      default:
        held = VK_MENU, tapped = static_cast<WORD>(toupper(static_cast<unsigned char>(key)));
        break;
    }
    std::vector<INPUT> inputs;
    auto add = [&](WORD virtual_key, bool up) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = virtual_key;
      input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
      inputs.push_back(input);
    };
    if (held)
      add(held, false);
    add(tapped, false);
    add(tapped, true);
    if (held)
      add(held, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    // The program under test takes each key before the next comes.
    Sleep(150);
  }
}
