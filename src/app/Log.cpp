#include "app/Log.h"

#include "app/AppInfo.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

// Appending (rather than reading and rewriting the whole file) keeps the lines of two
// copies of the program that write at the same moment.
void AddEntry(const std::string& file_name, const std::string& text) {
  try {
    std::string path = AppFile(file_name);
    std::string entry = "\r\n" + platform::FormatGeneralDate(platform::Now()) + "\t" + text;
    if (!platform::AppendToFile(path, entry)) return;
    if (platform::FileSize(path) > kLogSizeLimit) platform::RemoveFile(path);
  } catch (...) {
    // A log that cannot be written loses its entry; the caller goes on.
  }
}

}  // namespace

void LogError(const std::string& text) { AddEntry("errlog.log", text); }

void LogEvent(const std::string& text) { AddEntry("log.log", text); }
