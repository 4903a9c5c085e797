// The options window's shade and its link opener.
#include "ui/Gradient.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/shell_open.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"
#include "ui/Links.h"

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

TEST(LaunchUrlTest, TheFirstKnownBrowserGetsTheAddressAsItsParameter) {
  TestFolder folder;
  ScopedEnv program_files("programfiles", folder.path());
  ShellOpenLog opened;
  const std::string url = "http://127.0.0.1:8080/~vantor/progerr.php?request=dn";
  OpenUrlInBrowser(url);
  EXPECT_TRUE(opened.empty());  // none of the three: quietly nothing

  // A folder of the browser's name is not the browser.
  platform::CreateFolder(folder.File("internet explorer"));
  platform::CreateFolder(folder.File("internet explorer\\iexplore.exe"));
  platform::CreateFolder(folder.File("opera"));
  folder.Write("opera\\opera.exe", "MZ");
  OpenUrlInBrowser(url);
  platform::CreateFolder(folder.File("mozilla firefox"));
  folder.Write("mozilla firefox\\firefox.exe", "MZ");
  OpenUrlInBrowser(url);

  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].file, folder.path() + "\\opera\\opera.exe");
  EXPECT_EQ(opened[1], (ShellCall{"open", folder.path() + "\\mozilla firefox\\firefox.exe", url, "",
                                  platform::kShowNormal}));
}

}  // namespace
