#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

#include "platform/portable/fake_files.h"
#include "platform/portable/host_path.h"

namespace platform {
namespace {

// The host has no hidden or system bits: they are kept here, by host path.
std::map<std::string, uint32_t>& ExtraAttributes() {
  static std::map<std::string, uint32_t> table;
  return table;
}

constexpr uint32_t kExtraBits = kAttrHidden | kAttrSystem | kAttrArchive;

bool HostAttributes(const std::string& host, uint32_t* attributes) {
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0) return false;
  uint32_t value = S_ISDIR(info.st_mode) ? kAttrDirectory : 0;
  if (!(info.st_mode & S_IWUSR)) value |= kAttrReadOnly;
  std::string key = host;
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  auto extra = ExtraAttributes().find(key);
  if (extra != ExtraAttributes().end()) value |= extra->second;
  if (value == 0) value = kAttrNormal;
  *attributes = value;
  return true;
}

bool WriteAllTo(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteWithFlags(const std::string& path, const std::string& bytes, int flags) {
  std::string host = portable::ToHostPath(path);
  if (host.empty()) return false;
  int fd = open(host.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAllTo(fd, bytes);
  return close(fd) == 0 && ok;
}

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& pattern) {
  std::vector<FoundFile> found;
  if (portable::FakeFindFiles(pattern, &found)) return found;
  std::string::size_type cut = pattern.find_last_of("\\/");
  std::string folder = cut == std::string::npos ? "" : pattern.substr(0, cut + 1);
  std::string name_pattern = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  if (name_pattern.empty()) return found;
  std::string host_folder = portable::ToHostPath(folder.empty() ? "." : folder);
  if (host_folder.empty()) return found;
  DIR* dir = opendir(host_folder.c_str());
  if (!dir) return found;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (fnmatch(name_pattern.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) != 0) continue;
    uint32_t attributes = 0;
    std::string host = host_folder;
    if (host.back() != '/') host += '/';
    if (HostAttributes(host + name, &attributes)) found.push_back({name, attributes});
  }
  closedir(dir);
  return found;
}

bool ReadAttributes(const std::string& path, uint32_t* attributes) {
  bool exists = false;
  if (portable::FakeReadAttributes(path, &exists, attributes)) return exists;
  return HostAttributes(portable::ToHostPath(path), attributes);
}

bool WriteAttributes(const std::string& path, uint32_t attributes) {
  std::string host = portable::ToHostPath(path);
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0) return false;
  mode_t mode = info.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  if (chmod(host.c_str(), mode) != 0) return false;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  uint32_t extra = attributes & kExtraBits;
  if (extra)
    ExtraAttributes()[host] = extra;
  else
    ExtraAttributes().erase(host);
  return true;
}

bool FolderExists(const std::string& path) {
  uint32_t attributes = 0;
  return ReadAttributes(path, &attributes) && (attributes & kAttrDirectory);
}

bool CreateFolder(const std::string& path) {
  std::string host = portable::ToHostPath(path);
  return !host.empty() && mkdir(host.c_str(), 0755) == 0;
}

bool RemoveFolder(const std::string& path) {
  std::string host = portable::ToHostPath(path);
  return !host.empty() && rmdir(host.c_str()) == 0;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::string host = portable::ToHostPath(path);
  if (host.empty()) return false;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return false;
  }
  bytes->clear();
  char buffer[32768];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes->append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return n == 0;
}

bool ReadFileBlocks(const std::string& path, std::size_t block_size,
                    const std::function<bool(const char*, std::size_t)>& consume) {
  std::string host = portable::ToHostPath(path);
  if (host.empty() || block_size == 0) return false;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return false;
  }
  std::vector<char> buffer(block_size);
  bool ok = true;
  for (;;) {
    // Fill the block completely, so every block but the last has BlockSize bytes.
    std::size_t filled = 0;
    while (filled < block_size) {
      ssize_t n = read(fd, buffer.data() + filled, block_size - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      filled += static_cast<std::size_t>(n);
    }
    if (!ok || filled == 0) break;
    if (!consume(buffer.data(), filled)) {
      ok = false;
      break;
    }
    if (filled < block_size) break;
  }
  close(fd);
  return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  return WriteWithFlags(path, bytes, O_TRUNC);
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
  return WriteWithFlags(path, bytes, O_APPEND);
}

int64_t FileSize(const std::string& path) {
  std::string host = portable::ToHostPath(path);
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool RemoveFile(const std::string& path) {
  std::string host = portable::ToHostPath(path);
  struct stat info;
  if (host.empty() || lstat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  if (unlink(host.c_str()) != 0) return false;
  ExtraAttributes().erase(host);
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  std::string host_from = portable::ToHostPath(from);
  std::string host_to = portable::ToHostPath(to);
  struct stat info;
  if (host_from.empty() || host_to.empty() || stat(host_to.c_str(), &info) == 0) return false;
  if (rename(host_from.c_str(), host_to.c_str()) != 0) return false;
  auto extra = ExtraAttributes().find(host_from);
  if (extra != ExtraAttributes().end()) {
    ExtraAttributes()[host_to] = extra->second;
    ExtraAttributes().erase(host_from);
  }
  return true;
}

// The host has no 8.3 names: an existing path is its own short form.
std::string ShortPathName(const std::string& path) {
  std::string host = portable::ToHostPath(path);
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0) return "";
  return path;
}

// Without 8.3 names the long form is the path with each name as the folder spells it.
std::string LongPathName(const std::string& path) {
  std::string host = portable::ToHostPath(path);
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0)
    return path;
  return portable::FromHostPath(host);
}

std::string TempFolder() {
  const char* tmp = getenv("TMPDIR");
  std::string folder = portable::FromHostPath(tmp && *tmp ? tmp : "/tmp");
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace platform
