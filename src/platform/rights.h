// The rights this process runs with, and starting this program again with more of them.
// On Vista and later an administrator's programs get a filtered ("limited") token unless
// they were started elevated; a standard user has only the one token.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// TokenElevationType: Default (UAC off, a standard user, or a version without UAC),
// Full (an elevated administrator), Limited (an administrator's filtered token).
enum class ElevationType { kDefault, kFull, kLimited };
ElevationType TokenElevation();
// Whether the process holds an administrator's full rights (TokenElevation); before
// Vista, whether the user is an administrator: there is no UAC to filter the token.
bool IsElevated();

enum class ElevatedStart {
  kStarted,  // ran and ended; its exit code is given
  kRefused,  // the user said no at the UAC prompt (ERROR_CANCELLED)
  kFailed,   // could not be started (the error is given)
};
// Starts this program elevated (ShellExecuteExW with the verb "runas") with Parameters,
// waits for it to end while letting messages run, and gives its exit code, or the
// system's error when it could not be started.
ElevatedStart StartElevated(const std::string& parameters, long* exit_code_or_error);

// Test switches, honoured by both implementations: the token's elevation type (the
// process then counts as elevated exactly when it is Full), and what an elevated start
// does instead of starting anything (an empty function restores both).
void SetElevationForTesting(ElevationType type);
void ClearElevationForTesting();
using ElevatedStarter =
    std::function<ElevatedStart(const std::string& parameters, long* exit_code_or_error)>;
void SetElevatedStarterForTesting(ElevatedStarter starter);

}  // namespace platform
