// The windows' shade and translucency.
#include "ui/Gradient.h"

#include <gtest/gtest.h>

#include "support/ScopedOverrides.h"
#include "ui/Transparency.h"

namespace {

TEST(GradTest, AFormIsShadedOverItsWholeAreaInPixelsFromPaleToMediumBlue) {
  // A channel keeps its sixteen bits in a signed short.
  const std::pair<int32_t, int16_t> channels[] = {
      {0, 0}, {32767, 32767}, {32768, -32768}, {255 * 256, -256}, {65535, -1}};
  for (const auto& [channel, stored] : channels)
    EXPECT_EQ(ToColor16(channel), stored) << channel;

  platform::RecordGradientFillsForTesting(true);
  for (int32_t dpi : {96, 144}) {  // at 144 dpi half as many pixels again
    ScopedScreenDpi screen(dpi);
    platform::Form form("frmShade", platform::Form::Border::kNone);
    form.Move(0, 0, 3000, 1500);
    form.on_paint = [&form] { PaintGradient(form); };
    form.Refresh();
    std::vector<platform::GradientFillCall> calls = platform::TakeGradientFillsForTesting();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].surface, nullptr);
    EXPECT_EQ(calls[0].mode, platform::kGradientFillRectV);
    // Red 203, green 225, blue 252 at the top; red 125, green 165, blue 224 at the bottom.
    EXPECT_EQ(calls[0].upper_left,
              (platform::GradientVertex{0, 0, ToColor16(203 * 256), ToColor16(225 * 256),
                                        ToColor16(252 * 256), 0}));
    EXPECT_EQ(calls[0].lower_right,
              (platform::GradientVertex{200 * dpi / 96, 100 * dpi / 96, ToColor16(125 * 256),
                                        ToColor16(165 * 256), ToColor16(224 * 256), 0}));
  }
  // Left to right on request.
  FillGradient(nullptr, {1, 2, 3, 4}, 0xFF, 0xFF0000, false);
  std::vector<platform::GradientFillCall> calls = platform::TakeGradientFillsForTesting();
  platform::RecordGradientFillsForTesting(false);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].mode, platform::kGradientFillRectH);
  EXPECT_EQ(calls[0].upper_left.red, -256);
  EXPECT_EQ(calls[0].lower_right.blue, -256);
  EXPECT_EQ(calls[0].lower_right.x, 3);
  // Outside a Paint event there is no surface and nothing is drawn.
  EXPECT_FALSE(platform::GradientFillRect(nullptr, {}, {}, platform::kGradientFillRectV));
}

// A level beyond a byte must not wrap to some other alpha.
TEST(TransparencyTest, LevelsOutOfRangeAreRefused) {
  int window = 0;
  for (int16_t level : {256, -1})
    EXPECT_EQ(SetWindowTransparency(&window, level), 1) << level;
}

}  // namespace
