#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

HANDLE OpenForWriting(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileW(Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForReading(const std::string& path) {
  return CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& pattern) {
  std::vector<FoundFile> found;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(Widen(pattern).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    std::string name = NarrowBuffer(data.cFileName);
    if (name == "." || name == "..") continue;
    found.push_back({name, data.dwFileAttributes});
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return found;
}

bool ReadAttributes(const std::string& path, uint32_t* attributes) {
  DWORD value = GetFileAttributesW(Widen(path).c_str());
  if (value == INVALID_FILE_ATTRIBUTES) return false;
  *attributes = value;
  return true;
}

bool WriteAttributes(const std::string& path, uint32_t attributes) {
  return SetFileAttributesW(Widen(path).c_str(), attributes) != 0;
}

bool FolderExists(const std::string& path) {
  DWORD value = GetFileAttributesW(Widen(path).c_str());
  return value != INVALID_FILE_ATTRIBUTES && (value & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::string& path) {
  return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryW(Widen(path).c_str()) != 0; }

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buffer[32768];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
    bytes->append(buffer, got);
  CloseHandle(file);
  return ok;
}

bool ReadFileBlocks(const std::string& path, std::size_t block_size,
                    const std::function<bool(const char*, std::size_t)>& consume) {
  if (block_size == 0) return false;
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(block_size);
  bool ok = true;
  for (;;) {
    std::size_t filled = 0;
    while (filled < block_size) {
      DWORD got = 0;
      if (!ReadFile(file, buffer.data() + filled, static_cast<DWORD>(block_size - filled), &got,
                    nullptr)) {
        ok = false;
        break;
      }
      if (got == 0) break;
      filled += got;
    }
    if (!ok || filled == 0) break;
    if (!consume(buffer.data(), filled)) {
      ok = false;
      break;
    }
    if (filled < block_size) break;
  }
  CloseHandle(file);
  return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = OpenForWriting(path, GENERIC_WRITE, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, bytes);
  CloseHandle(file);
  return ok;
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
  HANDLE file = OpenForWriting(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, bytes);
  CloseHandle(file);
  return ok;
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  return MoveFileW(Widen(from).c_str(), Widen(to).c_str()) != 0;
}

std::string ShortPathName(const std::string& path) {
  wchar_t buffer[1000];
  DWORD capacity = sizeof buffer / sizeof buffer[0];
  DWORD length = GetShortPathNameW(Widen(path).c_str(), buffer, capacity);
  if (length == 0 || length >= capacity) return "";
  return Narrow(std::wstring_view(buffer, length));
}

std::string LongPathName(const std::string& path) {
  std::wstring wide = Widen(path);
  DWORD needed = GetLongPathNameW(wide.c_str(), nullptr, 0);
  if (needed == 0)
    return path;
  std::wstring buffer(needed, L'\0');
  DWORD length = GetLongPathNameW(wide.c_str(), buffer.data(), needed);
  if (length == 0 || length >= needed)
    return path;
  return Narrow(std::wstring_view(buffer.data(), length));
}

std::string TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return "C:\\";
  return Narrow(std::wstring_view(buffer, length));
}

}  // namespace platform
