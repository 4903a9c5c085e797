// From an autostart command line to the file it would start: a chain of heuristics
// with lookups on disk. The result is always a text; the caller checks it exists.
#pragma once

#include <string>

// The most likely file of Command, lower case except for parts taken from the
// environment. When nothing is found, the command as far as it was cut down.
std::string ResolveCommandFile(const std::string& command);
// File, Command's resolved file, in the letter case Command gives it when Command holds
// its path, else File itself: the same file, for looking it up on disk (Wine finds a
// name given in its own case at once, and reads the folder for one in another case).
std::string FileAsCommandSpellsIt(const std::string& command, const std::string& file);
// A bare program name (no backslash) found in the Windows folder, its system32 and
// system folders, or a folder named by an environment value; empty when not found.
std::string FindInSystemFolders(const std::string& name);
// Path itself when its name has a dot and it exists; Path with the first program
// extension it exists with when its name has none; otherwise empty.
std::string FindWithExtension(const std::string& path);
