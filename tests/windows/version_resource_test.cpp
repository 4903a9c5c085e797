// The version comes from the executable's version resource, as Explorer shows it.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/AppInfo.h"
#include "platform/system.h"
#include "runwarden_version.h"

namespace {

TEST(VersionResourceTest, VersionTextComesFromTheResource) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length));
  std::string expected = std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
                         std::to_string(LOWORD(info->dwFileVersionMS)) + ".0." +
                         std::to_string(LOWORD(info->dwFileVersionLS));
  EXPECT_EQ(VersionText(), expected);
  EXPECT_EQ(VersionText(), RUNWARDEN_VERSION_STRING);
}

TEST(WineVersionTest, ThePrefixReportsARealMajorVersion) {
  platform::SetMajorVersionForTesting(0);
  int major = platform::MajorVersion();
  EXPECT_TRUE(major == 5 || major == 6 || major == 10) << major;
}

}  // namespace
