// Maps the Windows-style paths the program uses to host paths: drive C: is the host's
// root, backslashes become slashes, and every name is looked up without regard to case
// (an exact match wins), as on a Windows file system.
#pragma once

#include <string>

namespace platform::portable {

// Empty for a path the host cannot hold (another drive letter).
std::string ToHostPath(const std::string& windows_path);
// "/tmp/x" gives "C:\tmp\x".
std::string FromHostPath(const std::string& host_path);

}  // namespace platform::portable
