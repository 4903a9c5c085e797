// The two logs in the program's folder. Each entry is CR LF, the date and time, a TAB
// and the text, added at the end of the file; neither call ever fails towards its caller.
#pragma once

#include <cstdint>
#include <string>

// Past this size a log is deleted, the entry that made it too long with it.
inline constexpr int64_t kLogSizeLimit = 1024000;

// One line to errlog.log.
void LogError(const std::string& text);
// One line to log.log: the scan's decisions.
void LogEvent(const std::string& text);
