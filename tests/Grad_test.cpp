// The options window's shade and its link opener.
#include "ui/Grad.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/shell_open.h"
#include "support/ScopedOverrides.h"
#include "support/TestFolder.h"
#include "ui/launchurl.h"

namespace {

TEST(GradTest, ChannelsKeepTheirSixteenBits) {
  EXPECT_EQ(ToColor16(0), 0);
  EXPECT_EQ(ToColor16(32767), 32767);
  EXPECT_EQ(ToColor16(32768), -32768);
  EXPECT_EQ(ToColor16(255 * 256), -256);  // 0xFF00
  EXPECT_EQ(ToColor16(65535), -1);
}

TEST(GradTest, AFormIsShadedOverItsWholeAreaInPixelsFromPaleToMediumBlue) {
  platform::Form form("frmShade", platform::Form::Border::kNone);
  form.Move(0, 0, 3000, 1500);
  form.on_paint = [&form] { PaintGradient(form); };
  platform::RecordGradientFillsForTesting(true);
  form.Refresh();
  std::vector<platform::GradientFillCall> calls = platform::TakeGradientFillsForTesting();
  platform::RecordGradientFillsForTesting(false);

  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].surface, nullptr);
  EXPECT_EQ(calls[0].mode, platform::kGradientFillRectV);
  // Red 203, green 225, blue 252 at the top; red 125, green 165, blue 224 at the bottom.
  EXPECT_EQ(calls[0].upper_left,
            (platform::GradientVertex{0, 0, ToColor16(203 * 256), ToColor16(225 * 256),
                                      ToColor16(252 * 256), 0}));
  EXPECT_EQ(calls[0].lower_right,
            (platform::GradientVertex{200, 100, ToColor16(125 * 256), ToColor16(165 * 256),
                                      ToColor16(224 * 256), 0}));
  EXPECT_EQ(GradientArea.right, 200);
  EXPECT_EQ(GradientArea.bottom, 100);
  {
    // The same form on a screen of 144 dpi has half as many pixels again.
    ScopedScreenDpi dpi(144);
    platform::Form large("frmShade", platform::Form::Border::kNone);
    large.Move(0, 0, 3000, 1500);
    large.on_paint = [&large] { PaintGradient(large); };
    large.Refresh();
    EXPECT_EQ(GradientArea.right, 300);
    EXPECT_EQ(GradientArea.bottom, 150);
  }

  // Outside a Paint event there is no surface and nothing is drawn.
  EXPECT_FALSE(platform::GradientFillRect(nullptr, {}, {}, platform::kGradientFillRectV));
  // Left to right on request.
  platform::RecordGradientFillsForTesting(true);
  FillGradient(nullptr, {1, 2, 3, 4}, 0xFF, 0xFF0000, false);
  calls = platform::TakeGradientFillsForTesting();
  platform::RecordGradientFillsForTesting(false);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].mode, platform::kGradientFillRectH);
  EXPECT_EQ(calls[0].upper_left.red, -256);
  EXPECT_EQ(calls[0].lower_right.blue, -256);
  EXPECT_EQ(calls[0].lower_right.x, 3);
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
