// A file read front to back in pieces the caller asks for, so one thread can take turns
// between several open files (the concurrent hashing of a scan pass).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Fills Buffer with up to Size bytes and returns how many; fewer only at the end of
  // the file, 0 there, -1 when reading fails.
  virtual int64_t Read(char* buffer, std::size_t size) = 0;
};

// Null when the file cannot be opened for reading: missing, a folder, or locked against
// reading, exactly as ReadFileBlocks fails for it. Opens with the same sharing.
std::unique_ptr<SequentialFile> OpenSequentialFile(const std::string& path);

}  // namespace platform
