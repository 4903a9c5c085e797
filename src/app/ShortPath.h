#pragma once

#include <string>

// The short (8.3) form of an existing path, or empty.
std::string GetShortPath(const std::string& path);
