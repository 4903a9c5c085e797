#include "app/OsVersion.h"
#include "ui/Transparency.h"

#include <gtest/gtest.h>

#include "platform/system.h"

namespace {

TEST(WindowsTest, TransparencyRefusesLevelsOutOfRange) {
  int dummy = 0;
  EXPECT_EQ(SetWindowTransparency(&dummy, 256), 1);
  EXPECT_EQ(SetWindowTransparency(&dummy, -1), 1);
}

TEST(WindowsTest, MajorVersionCanBePinnedForTests) {
  int real = GetOSMajorVersion();
  EXPECT_GE(real, 5);
  platform::SetMajorVersionForTesting(5);
  EXPECT_EQ(GetOSMajorVersion(), 5);
  platform::SetMajorVersionForTesting(6);
  EXPECT_EQ(GetOSMajorVersion(), 6);
  platform::SetMajorVersionForTesting(0);
  EXPECT_EQ(GetOSMajorVersion(), real);
}

}  // namespace
