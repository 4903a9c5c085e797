// Real mouse and keyboard input under Wine, as a user gives it (SendInput): it goes to
// the window under the pointer or to the active window, through the window system.
#pragma once

#include <string>

// A left click at a point of the screen, in pixels.
void ClickAt(int x, int y);
// Types keys into the active window, one after another: a letter is Alt and that letter;
// T is Tab, S Shift+Tab, E Enter, _ Space.
void TypeKeys(const std::string& keys);
