// Small path helpers. All but FileExists work on the text alone, with backslash separators.
#pragma once

#include <string>

// True when a file (not a folder) exists at Path, whatever its attributes (hidden and
// system included). Wildcards act as patterns.
bool FileExists(const std::string& path);
// The text after the last backslash; a path of fewer than 4 characters or without a
// backslash is returned unchanged.
std::string GetFileName(const std::string& path);
// The text after the last dot, or empty.
std::string GetFileExtension(const std::string& path);
// The file name without its last extension.
std::string GetFileBaseName(const std::string& path);
// The path without its last backslash and what follows it; empty without a backslash.
std::string GetFolderPath(const std::string& path);
