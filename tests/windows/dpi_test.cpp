// The program on the screen it starts on: its manifest says it scales itself, so Windows
// tells it the screen's real dpi and stretches nothing, and its forms and fonts follow
// that dpi. Runs in the tests' prefix (96 dpi) and, as "windows_dpi144_suite", in one
// whose screen has 144 (RUNWARDEN_WINE_DPI).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"
#include "platform/window.h"

namespace {

TEST(RealDpi, FormsAndFontsFollowTheScreensDpi) {
  std::string configured = platform::GetEnv("RUNWARDEN_WINE_DPI");
  const int dpi = configured.empty() ? 96 : std::stoi(configured);
  EXPECT_EQ(platform::ScreenDpi(), dpi);

  platform::Form form("frmDpi", platform::Form::Border::kFixedSingle);
  form.SetClientSize(2880, 1440);  // two inches by one
  platform::Control label(form, platform::ControlKind::kLabel, "lblText");
  label.SetFont({"Verdana", 8, false});
  RECT client{};
  ASSERT_TRUE(GetClientRect(static_cast<HWND>(form.Handle()), &client));
  EXPECT_EQ(client.right, 2 * dpi);
  EXPECT_EQ(client.bottom, dpi);

  auto font =
      reinterpret_cast<HFONT>(SendMessageW(static_cast<HWND>(label.Handle()), WM_GETFONT, 0, 0));
  LOGFONTW described{};
  ASSERT_TRUE(GetObjectW(font, sizeof described, &described));
  EXPECT_EQ(described.lfHeight, -MulDiv(8, dpi, 72));  // 8 points
}

}  // namespace
