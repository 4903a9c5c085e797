// Grad: the two-colour vertical shade behind the options window and its pages.
#pragma once

#include <cstdint>

#include "platform/window.h"

// A rectangle in pixels: left, top, right, bottom.
struct GradientRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};
// Filled anew by every PaintGradient.
extern GradientRect GradientArea;

// The upper colour, a pale blue, and the lower one, a medium blue (0x00BBGGRR).
inline constexpr uint32_t kGradientTop = 0xFCE1CB;
inline constexpr uint32_t kGradientBottom = 0xE0A57D;

// Paints the whole of a form or picture box from kGradientTop to kGradientBottom; call
// it from the Paint event, while the target has its surface.
void PaintGradient(platform::Control& target);
// Fills Area on the surface from Color1 to Color2, top to bottom when Vertical, else
// left to right.
void FillGradient(platform::DeviceContext hdc,
                  const GradientRect& area,
                  uint32_t color1,
                  uint32_t color2,
                  bool vertical);
// A channel of 0 to 65535 as the signed 16-bit value with the same bits.
int16_t ToColor16(int32_t value);
