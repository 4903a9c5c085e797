// The windows' translucency: a percentage of transparency, stored by the options window
// under "Hscroll1(0)" and obeyed by the alert.
#pragma once

#include <cstdint>

#include "platform/window.h"

// The bar stops at 90: a fully transparent alert would still wait for an answer.
inline constexpr int32_t kTransparencyMax = 90;
// What the alert uses while nothing is stored.
inline constexpr int32_t kTransparencyDefault = 13;

// The alpha for a transparency percentage: 255 / 100 x (100 - Percent), rounded to the
// nearest integer with halves to the even one (50 gives 128).
int32_t TransparencyAlpha(int32_t percent);

// The stored percentage as the alert reads it: the whole part of the stored number,
// kTransparencyDefault when nothing (or no number) is stored, at most kTransparencyMax.
int32_t StoredTransparency();

// Makes the window translucent: Level 0 is transparent, 255 opaque. Returns 1 for a
// Level out of range (nothing changes), otherwise 0.
int32_t SetWindowTransparency(platform::WindowHandle window, int16_t level);
