// Facts about the running system and process: version, environment, clock, own path.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The platform's major version number (5: 2000/XP/2003, 6: Vista and later).
int MajorVersion();
// 0 restores the real value.
void SetMajorVersionForTesting(int major);
// The minor version number: 6.1 is Windows 7, 6.2 Windows 8 (and every later Windows to a
// program whose manifest does not name it).
int MinorVersion();
// A negative number restores the real value.
void SetMinorVersionForTesting(int minor);

// Environment variables; an unset variable reads as empty.
std::string GetEnv(const std::string& name);
bool SetEnv(const std::string& name, const std::string& value);
// "NAME=VALUE" entries in the platform's order.
std::vector<std::string> EnvironmentEntries();

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalTime Now();
// The system's general date form: short date, a blank, long time; the time is left
// out at exactly midnight.
std::string FormatGeneralDate(const LocalTime& time);
// Fixes Now() for tests; a zero year releases it.
void SetNowForTesting(const LocalTime& time);

// Full path of the running executable.
std::string ModulePath();
void SetModulePathForTesting(const std::string& path);

struct Version {
  int major = 0, minor = 0, revision = 0;
};
// The version the executable carries (its version resource on Windows).
Version ProgramVersion();

// The system's own sentence for an error number ("Access is denied."), without line
// break; empty when it has none.
std::string SystemErrorText(long error);

// Ends the process at once: no unload handlers, no destructors.
[[noreturn]] void EndProcessNow(int exit_code);

}  // namespace platform
