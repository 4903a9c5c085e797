#pragma once

#include <cstdint>

#include "platform/window.h"

// Makes the window translucent: Level 0 is transparent, 255 opaque. Returns 1 for a
// Level out of range (nothing changes), otherwise 0.
int32_t SetWindowTransparency(platform::WindowHandle window, int16_t level);
// The platform's major version: 5 for 2000/XP/2003, 6 for Vista and later.
int32_t GetOSMajorVersion();
