#include "platform/file_reader.h"

#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/portable/host_path.h"

namespace platform {
namespace {

class HostFile : public SequentialFile {
 public:
  explicit HostFile(int fd) : fd_(fd) {}
  ~HostFile() override { close(fd_); }
  HostFile(const HostFile&) = delete;
  HostFile& operator=(const HostFile&) = delete;

  int64_t Read(char* buffer, std::size_t size) override {
    std::size_t filled = 0;
    while (filled < size) {
      ssize_t n = read(fd_, buffer + filled, size - filled);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        return -1;
      if (n == 0)
        break;
      filled += static_cast<std::size_t>(n);
    }
    return static_cast<int64_t>(filled);
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<SequentialFile> OpenSequentialFile(const std::string& path) {
  std::string host = portable::ToHostPath(path);
  if (host.empty())
    return nullptr;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<HostFile>(fd);
}

}  // namespace platform
