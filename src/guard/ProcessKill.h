// Processes of a blocked file: finding and ending them by executable name.
#pragma once

#include <string>

// True when Text is the executable's name, or that name without its extension, compared
// without regard to case ("notepad" and "NOTEPAD.EXE" match notepad.exe; "note" and
// "e.exe" do not). An empty text matches nothing.
bool ProcessNameMatches(const std::string& exe_name, const std::string& text);
// True when a running process matches Text.
bool IsProcessRunning(const std::string& text);
// Ends every running process that matches Text, except this one.
void KillProcessByFile(const std::string& text);
