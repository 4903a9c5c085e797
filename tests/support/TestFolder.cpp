#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/files.h"
#include "platform/system.h"

namespace {
std::atomic<int> g_counter{0};
}

TestFolder::TestFolder() {
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::string base = platform::TempFolder();
  if (base.back() != '\\')
    base += '\\';
  path_ = base + "rwtest-" + std::to_string(stamp % 100000000) + "-" + std::to_string(g_counter++);
  EXPECT_TRUE(platform::CreateFolder(path_)) << path_;
}

TestFolder::~TestFolder() {
  RemoveTree(path_);
}

std::string TestFolder::Write(const std::string& name, const std::string& bytes) const {
  std::string file = File(name);
  EXPECT_TRUE(platform::WriteWholeFile(file, bytes)) << file;
  return file;
}

std::string TestFolder::Read(const std::string& name) const {
  std::string bytes;
  platform::ReadWholeFile(File(name), &bytes);
  return bytes;
}

void RemoveTree(const std::string& path) {
  for (const platform::FoundFile& entry : platform::FindFiles(path + "\\*")) {
    std::string child = path + "\\" + entry.name;
    platform::WriteAttributes(child, platform::kAttrNormal);
    if (entry.attributes & platform::kAttrDirectory)
      RemoveTree(child);
    else
      platform::RemoveFile(child);
  }
  platform::RemoveFolder(path);
}

std::string Contents(const std::string& path) {
  std::string bytes;
  return platform::ReadWholeFile(path, &bytes) ? bytes : "<missing>";
}

std::string Pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  uint32_t x = 2463534242u + static_cast<uint32_t>(seed) * 7919u;
  for (char& byte : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<char>(x);
  }
  return bytes;
}

std::string EicarText() {
  return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
}

ProgramLocation::ProgramLocation(const std::string& exe_path) {
  platform::SetModulePathForTesting(exe_path);
}

ProgramLocation::~ProgramLocation() {
  platform::SetModulePathForTesting("");
}
