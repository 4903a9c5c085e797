// What the program knows about itself: where it runs from, its name and its version.
#pragma once

#include <string>

// The program's folder, without a trailing backslash except at the root of a drive ("C:\").
std::string AppFolder();
// The executable's name without folder and extension ("Runwarden").
std::string AppExeName();
// major.minor.0.revision, from the version the executable carries (1.4.0.9).
std::string VersionText();
// A file in the program's folder: the folder, a backslash and the name.
std::string AppFile(const std::string& name);
// Where users send errlog.log by hand: the maker's support e-mail address, fixed when
// the program is built.
std::string SupportEmailAddress();
