// A fresh, empty folder for one test, removed with everything in it at the end. Paths
// are Windows-style in both builds.
#pragma once

#include <cstddef>
#include <string>

class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& path() const { return path_; }
  // The folder, a backslash and the name.
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  // Writes a file inside the folder and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

void RemoveTree(const std::string& path);
// A file's bytes, or "<missing>".
std::string Contents(const std::string& path);
// Bytes that look random, the same for the same size and seed.
std::string Pattern(std::size_t size, int seed = 0);
// The EICAR anti-malware test file, put together here so that no file of the
// repository is one.
std::string EicarText();

// Makes the program believe it runs from Folder\Runwarden.exe while it lives.
class ProgramLocation {
 public:
  explicit ProgramLocation(const std::string& exe_path);
  ~ProgramLocation();
};
