// Files and folders, addressed by Windows-style paths ("C:\dir\file.exe", backslashes).
// The portable side maps drive C: to the host's root and looks names up without regard
// to case, so the same paths work in both builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;

struct FoundFile {
  std::string name;  // without folder
  uint32_t attributes = 0;
};

// Every entry matching the pattern; * and ? in the last component act as wildcards.
std::vector<FoundFile> FindFiles(const std::string& pattern);

bool ReadAttributes(const std::string& path, uint32_t* attributes);
bool WriteAttributes(const std::string& path, uint32_t attributes);
bool FolderExists(const std::string& path);
bool CreateFolder(const std::string& path);
bool RemoveFolder(const std::string& path);  // an empty folder only

bool ReadWholeFile(const std::string& path, std::string* bytes);
// Reads the file front to back in blocks of BlockSize bytes through one buffer and hands
// each block to Consume (the last one may be shorter). False when the file cannot be
// opened or read, or Consume returns false.
bool ReadFileBlocks(const std::string& path, std::size_t block_size,
                    const std::function<bool(const char* data, std::size_t length)>& consume);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Appends in one write with the file opened for appending, so two processes
// adding lines at the same time do not overwrite each other.
bool AppendToFile(const std::string& path, const std::string& bytes);
int64_t FileSize(const std::string& path);  // -1 when there is no such file
bool RemoveFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);  // fails when `to` exists

// The 8.3 form of an existing path; empty when the platform cannot give it.
std::string ShortPathName(const std::string& path);
// The long form of an existing path, every 8.3 name in it expanded; the path as given
// when it cannot be expanded (it is not there).
std::string LongPathName(const std::string& path);

// The folder for temporary files, ending in a backslash.
std::string TempFolder();

}  // namespace platform
