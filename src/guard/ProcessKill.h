// Processes of a blocked file: finding and ending them by the executable's full path, or
// by its name for a caller that gives only a name ("Runwarden.exe notepad.exe").
#pragma once

#include <string>

// True when Text is the executable's name, or that name without its extension, compared
// without regard to case ("notepad" and "NOTEPAD.EXE" match notepad.exe; "note" and
// "e.exe" do not). An empty text matches nothing.
bool ProcessNameMatches(const std::string& exe_name, const std::string& text);

// Text is a path when it holds a backslash or a colon (quotes around it are dropped):
// then only a process whose image is that very file matches (compared without regard to
// case, 8.3 names expanded), never one that merely shares its name. Any other text is a
// name (ProcessNameMatches).
// True when a running process matches Text.
bool IsProcessRunning(const std::string& text);
// Ends every running process that matches Text, except this one. A path that names this
// program's own executable ends nothing: the guard never ends itself or its copies.
void KillProcessByFile(const std::string& text);
