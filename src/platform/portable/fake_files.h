// A file system of names only, for driving code that looks files up (command-to-file
// resolution) with any input at all and without a disk: the fuzz targets use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace platform::portable {

// Makes FindFiles, ReadAttributes and FolderExists answer from Files (copied), full Windows
// paths of files (their folders exist too, and the root of drive C:), compared without
// regard to case; other paths do not exist. Null gives the disk back.
void SetFakeFilesForTesting(const std::vector<std::string>* files);

// What the hooks in the files layer ask: false when there is no fake file system.
bool FakeFindFiles(const std::string& pattern, std::vector<FoundFile>* found);
bool FakeReadAttributes(const std::string& path, bool* exists, uint32_t* attributes);

}  // namespace platform::portable
