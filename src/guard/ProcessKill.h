// Processes of a blocked file: finding and ending them by executable name.
#pragma once

#include <string>

// Ends every running process whose executable name matches Text.
void KillProcessByFile(const std::string& text);
