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

// Makes drive C: (and paths from the root) a folder of the host, so code that looks
// files up can be driven over a small tree of its own; "" restores the host's root.
void SetDriveRootForTesting(const std::string& host_folder);

}  // namespace platform::portable
