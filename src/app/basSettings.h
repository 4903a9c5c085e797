// The user's options: values of the settings key, loaded into the global flags that the
// scan, the repair and the alert obey.
#pragma once

#include <string>

inline constexpr char kSettingsKey[] = "HKLM\\SOFTWARE\\Runwarden";

extern bool OptAutoBlockEntries;         // "chkAuto_Block(1)"
extern bool OptAlert;                    // "ALERT", written by the settings repair
extern bool OptTerminateBlockedForever;  // "chkTerminate_(2)"
extern bool OptBlockByHash;              // "chkBlock_Detection(3)"
extern bool OptAutoBlockMissing;         // "chkAuto_Block(4)"
extern bool OptAutoBlockHarmful;         // "chkAuto_Block(5)"
extern bool OptAutoUpdate;               // "chkAuto_Update(6)"
extern bool OptSendErrors;               // "chkSend_Errors(7)"

// Reads the eight flags. A flag is on exactly when its text is "1"; a missing value is
// on, except "ALERT", which is off. A greyed check box ("2") counts as off.
void LoadOptions();
