#include "ui/Gradient.h"

#include <cmath>

GradientRect GradientArea;

namespace {

int32_t PixelsHalfToEven(int32_t twips) {
  return static_cast<int32_t>(
      std::nearbyint(static_cast<double>(twips) * platform::ScreenDpi() / 1440));
}

platform::GradientVertex Vertex(int32_t x, int32_t y, uint32_t color) {
  platform::GradientVertex vertex;
  vertex.x = x;
  vertex.y = y;
  vertex.red = ToColor16(static_cast<int32_t>(color & 0xFF) * 256);
  vertex.green = ToColor16(static_cast<int32_t>((color >> 8) & 0xFF) * 256);
  vertex.blue = ToColor16(static_cast<int32_t>((color >> 16) & 0xFF) * 256);
  vertex.alpha = 0;
  return vertex;
}

}  // namespace

void PaintGradient(platform::Control& target) {
  GradientArea = {0, 0, PixelsHalfToEven(target.Width()), PixelsHalfToEven(target.Height())};
  FillGradient(target.Hdc(), GradientArea, kGradientTop, kGradientBottom, true);
}

void FillGradient(platform::DeviceContext hdc,
                  const GradientRect& area,
                  uint32_t color1,
                  uint32_t color2,
                  bool vertical) {
  platform::GradientFillRect(
      hdc, Vertex(area.left, area.top, color1), Vertex(area.right, area.bottom, color2),
      vertical ? platform::kGradientFillRectV : platform::kGradientFillRectH);
}

int16_t ToColor16(int32_t value) {
  return static_cast<int16_t>(value < 32768 ? value : value - 65536);
}
