// One autostart entry, as the engine passes it around: separate fields, never one joined
// text, so that a name or command holding the list separators cannot shift the fields or
// split the entry.
#pragma once

#include <string>
#include <vector>

// What an entry is, and so how it is taken out of its place and put back.
inline constexpr char kKindRegistry[] = "1";  // a registry value whose whole data is one command
inline constexpr char kKindFile[] = "2";      // a file in a folder
inline constexpr char kKindListItem[] = "3";  // one item of a registry value Windows reads as a list
inline constexpr char kKindTask[] = "4";      // a scheduled task (TaskEntries.h)
inline constexpr char kKindMovedFolder[] = "5";  // a Startup folder moved away from its default

struct StartupEntry {
  // "1": the value's name. "2": the shell's display name of the file. "3", "5": the name
  // of the value the item or the folder's path is in.
  std::string Name;
  // "1": the value's data as text. "2": the shortcut's target or the file's path. "3":
  // the item, without the blanks around it. "5": the folder's path as the value holds it.
  std::string Command;
  // Where it lives, as the alert, the log and the lists name it. "1": the registry path
  // of the key. "2": the file's full path. "3", "5": the key's path, "\" and the value's
  // name.
  std::string Location;
  std::string Kind;  // one of the kinds above
  // "3", "5": the registry path of the key and the exact name of the value (Location
  // cannot be split again: a value's name may hold backslashes).
  std::string RegKey = {};
  std::string RegValue = {};

  bool IsFile() const { return Kind == kKindFile; }
  bool operator==(const StartupEntry&) const = default;
};

using StartupEntryList = std::vector<StartupEntry>;

// The fields joined by "<#>", for display and for logs only: never split it again.
std::string EntryText(const StartupEntry& entry);
