#pragma once

#include "app/LaunchModes.h"
#include "guard/GuardWindows.h"

// The modes of this program, for Main to dispatch to.
ProgramModes RunwardenModes();
// The alert window's procedures, as the scan and the guard reach them.
GuardWindows RunwardenGuardWindows();
