// One autostart entry, as the engine passes it around: four separate fields, never one
// joined text, so that a name or command holding the list separators cannot shift the
// fields or split the entry.
#pragma once

#include <string>
#include <vector>

inline constexpr char kKindRegistry[] = "1";  // a value of a registry key
inline constexpr char kKindFile[] = "2";      // a file in a folder
inline constexpr char kKindTask[] = "4";      // a scheduled task (TaskEntries.h)

struct StartupEntry {
  std::string Name;      // value name, or the shell's display name of the file
  std::string Command;   // value data as text, or the shortcut's target / the file's path
  std::string Location;  // registry path of the key, the full path of the file, or the task
  std::string Kind;      // kKindRegistry or kKindFile

  bool IsFile() const { return Kind == kKindFile; }
  bool operator==(const StartupEntry&) const = default;
};

using StartupEntryList = std::vector<StartupEntry>;

// The fields joined by "<#>", for display and for logs only: never split it again.
std::string EntryText(const StartupEntry& entry);
