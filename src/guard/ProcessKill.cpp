#include "guard/ProcessKill.h"

// Process termination comes with the process layer of the engine.
void KillProcessByFile(const std::string&) {}
