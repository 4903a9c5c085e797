// The user's options: values of the settings key, loaded into the global flags that the
// scan, the repair and the alert obey.
#pragma once

#include <string>
#include <vector>

#include "platform/window.h"

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

// A control's value name: its name, "(", its index in its control array (0 for a
// control not in one), ")", as in "chkAuto_Block(4)".
std::string SettingName(const platform::Control& control);
// Restores every check box, text box, option button and horizontal scroll bar of a
// form from the settings key; a control with nothing stored (or a value it refuses)
// keeps its state. Other controls are skipped.
void LoadFormSettings(const std::vector<platform::Control*>& controls);
// Stores those controls as REG_SZ: a check box's state ("0", "1", "2"), a text box's
// text, an option button's "True" or "False", a scroll bar's position. The status of the
// first refused write, 0 when every value was written.
long SaveFormSettings(const std::vector<platform::Control*>& controls);
// The text SaveFormSettings stores for the control; empty for a control it skips.
std::string SettingText(const platform::Control& control);
