// What the test switches of the platform headers have set, kept once for both
// implementations: each implementation reads it and otherwise asks the system.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/rights.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "platform/window.h"

namespace platform::test_switches {

int& MajorVersion();                    // 0: the real one
int& MinorVersion();                    // negative: the real one
int32_t& ScreenDpi();                   // 0: the system's
LocalTime& Now();                       // year 0: the real clock
std::string& ModulePath();              // empty: the real path
MessageBoxResponder& MessageBoxes();    // empty: real message boxes
ShellOpenRecorder& ShellOpen();         // empty: the real shell
std::map<int, std::string>& SpecialFolders();
bool& RecordSounds();                   // false: nothing is kept
std::vector<std::string>& PlayedSounds();
// Value writes still allowed; negative: no limit. Consumed by TakeValueWrite.
int& ValueWritesLeft();
// False when the registry must refuse this value write.
bool TakeValueWrite();
std::optional<ElevationType>& Elevation();  // empty: the real token
ElevatedStarter& ElevatedStarts();          // empty: a real elevated start

}  // namespace platform::test_switches
