// Whether this process may change what Runwarden keeps for the whole machine, and a
// refusal put in plain words for the user.
#pragma once

#include <string>

// Found by a trial write of a value in the settings key (HKLM\SOFTWARE\Runwarden),
// which leaves nothing behind: the token alone does not tell (UAC off, a standard user,
// the key's own permissions).
bool CanWriteMachineSettings();

// Why a step failed: "access denied: administrator rights are needed" for a refusal,
// otherwise "error N" and the system's sentence for it.
std::string DescribeFailure(long status);
