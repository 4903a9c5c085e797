// The keys the forms answer themselves (platform/window.h: Form::PressKey and
// PressAccessKey), taken from the message pump before they are translated.
#pragma once

#include <windows.h>

namespace platform {

// True when the message was a key for one of the forms and was handled: it is then
// neither translated nor dispatched.
bool HandleFormKey(const MSG& message);

}  // namespace platform
