#include "app/ShortPath.h"

#include "platform/files.h"

std::string GetShortPath(const std::string& path) { return platform::ShortPathName(path); }
