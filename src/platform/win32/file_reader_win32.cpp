#include "platform/file_reader.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class Win32File : public SequentialFile {
 public:
  explicit Win32File(HANDLE file) : file_(file) {}
  ~Win32File() override { CloseHandle(file_); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  int64_t Read(char* buffer, std::size_t size) override {
    std::size_t filled = 0;
    while (filled < size) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - filled, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(file_, buffer + filled, chunk, &got, nullptr))
        return -1;
      if (got == 0)
        break;
      filled += got;
    }
    return static_cast<int64_t>(filled);
  }

 private:
  HANDLE file_;
};

}  // namespace

std::unique_ptr<SequentialFile> OpenSequentialFile(const std::string& path) {
  // The sharing ReadFileBlocks asks for, so a file locked against it is locked here too.
  HANDLE file =
      CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return nullptr;
  return std::make_unique<Win32File>(file);
}

}  // namespace platform
