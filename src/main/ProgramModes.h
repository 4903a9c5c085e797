#pragma once

#include "app/basMain.h"

// The modes of this program, for Main to dispatch to.
ProgramModes RunwardenModes();
