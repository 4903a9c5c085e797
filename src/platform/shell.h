// The shell's view of the Startup folders: special folders by number, the items of a
// folder as the shell lists them, and where a shortcut points.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Special-folder numbers the guard watches.
inline constexpr int kFolderStartup = 7;               // the user's Startup folder
inline constexpr int kFolderCommonStartup = 24;        // Startup of all users
inline constexpr int kFolderAltStartup = 29;           // the user's non-localised Startup
inline constexpr int kFolderCommonAltStartup = 30;     // all users' non-localised Startup

// The folder's path, or empty when the platform does not know the number.
std::string SpecialFolderPath(int folder_number);
// Makes SpecialFolderPath answer Path for the number; an empty Path removes the override.
void SetSpecialFolderForTesting(int folder_number, const std::string& path);

struct ShellItem {
  std::string display_name;  // as the shell shows it (a shortcut without ".lnk")
  std::string path;          // full path
  bool file_system = false;
  bool folder = false;
  bool link = false;
};

// The items of a folder, hidden ones included (a hidden item starts at logon all the
// same); items that are hidden and system at once (desktop.ini) are left out. False when
// the folder cannot be opened.
bool ListFolderItems(const std::string& folder, std::vector<ShellItem>* items);

// The path a shortcut points to; empty when it cannot be read.
std::string ShortcutTarget(const std::string& link_path);
// Writes a shortcut to Target (the portable side writes a plain stand-in: a .lnk file
// whose content is the target path).
bool CreateShortcut(const std::string& link_path, const std::string& target);

}  // namespace platform
