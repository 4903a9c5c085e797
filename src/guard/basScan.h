// The scan's helpers owned here: the repair of system settings that harmful programs
// take over.
#pragma once

#include <string>

// Writes the good value of every watched setting (platform version 5 only) and sets the
// "ALERT" value of the settings key to "1" when one of them held another value, else "0".
void RepairSystemSettings();
// Writes Good (as a REG_DWORD from its decimal text with AsDword) whatever the value held.
// True when the value held a different, non-empty text before (compared without case).
bool EnforceSetting(const std::string& key, const std::string& name, const std::string& good,
                    bool as_dword);
