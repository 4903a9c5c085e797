#include "app/OsVersion.h"
#include "ui/Transparency.h"

#include <gtest/gtest.h>

namespace {

// A level beyond a byte must not wrap to some other alpha.
TEST(WindowsTest, TransparencyRefusesLevelsOutOfRange) {
  int window = 0;
  for (int16_t level : {256, -1})
    EXPECT_EQ(SetWindowTransparency(&window, level), 1) << level;
}

}  // namespace
