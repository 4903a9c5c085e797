#include "platform/system.h"

#include <unistd.h>

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/portable/host_path.h"
#include "runwarden_version.h"
#include "platform/common/test_switches.h"

extern char** environ;

namespace platform {
namespace {

// A Windows host answers 6 or more; the portable build plays Windows 7, as Wine does.
constexpr int kPortableMajorVersion = 6;
constexpr int kPortableMinorVersion = 1;

std::string Pad2(int value) {
  return value < 10 ? "0" + std::to_string(value) : std::to_string(value);
}

}  // namespace

// The sentences of the few errors the program explains to its user, as Windows words them.
std::string SystemErrorText(long error) {
  switch (error) {
    case 2:
      return "The system cannot find the file specified.";
    case 5:
      return "Access is denied.";
    case 1058:
      return "The service cannot be started, either because it is disabled or because it has "
             "no enabled devices associated with it.";
    case 1223:
      return "The operation was canceled by the user.";
    default:
      return "";
  }
}

int MajorVersion() {
  return test_switches::MajorVersion() ? test_switches::MajorVersion() : kPortableMajorVersion;
}

int MinorVersion() {
  return test_switches::MinorVersion() >= 0 ? test_switches::MinorVersion() : kPortableMinorVersion;
}

// Names are compared without regard to case, as on Windows: an exact match first.
std::string GetEnv(const std::string& name) {
  if (const char* value = std::getenv(name.c_str())) return value;
  if (name.empty()) return "";
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals && static_cast<std::size_t>(equals - *entry) == name.size() &&
        strncasecmp(*entry, name.c_str(), name.size()) == 0)
      return equals + 1;
  }
  return "";
}

bool SetEnv(const std::string& name, const std::string& value) {
  if (value.empty()) return unsetenv(name.c_str()) == 0;
  return setenv(name.c_str(), value.c_str(), 1) == 0;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
  return entries;
}

LocalTime Now() {
  if (test_switches::Now().year) return test_switches::Now();
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

// English (United States): 12/5/2026 3:45:12 AM.
std::string FormatGeneralDate(const LocalTime& time) {
  std::string text = std::to_string(time.month) + "/" + std::to_string(time.day) + "/" +
                     std::to_string(time.year);
  if (time.hour || time.minute || time.second) {
    int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
    text += " " + std::to_string(hour12) + ":" + Pad2(time.minute) + ":" + Pad2(time.second) +
            (time.hour < 12 ? " AM" : " PM");
  }
  return text;
}

std::string ModulePath() {
  if (!test_switches::ModulePath().empty()) return test_switches::ModulePath();
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "";
  return portable::FromHostPath(std::string(buffer, static_cast<std::size_t>(length)));
}

Version ProgramVersion() {
  return {RUNWARDEN_VERSION_MAJOR, RUNWARDEN_VERSION_MINOR, RUNWARDEN_VERSION_REVISION};
}

void EndProcessNow(int exit_code) { std::_Exit(exit_code); }

}  // namespace platform
