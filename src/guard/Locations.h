// The autostart locations and the entry list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "guard/StartupEntry.h"
#include "registry/Registry.h"

// The registry locations, in the order they are read: each machine key that 64-bit
// Windows redirects for 32-bit programs is followed by its WOW6432Node counterpart.
const std::vector<std::string>& RegistryLocations();
// "HKLM\SOFTWARE\rest" in the 32-bit view: "HKLM\SOFTWARE\WOW6432Node\rest".
std::string ThirtyTwoBitView(const std::string& machine_key);

// Every entry of every location: the registry keys (of a RunOnceEx key its sections),
// the other places (Places.h), then the Startup folders (and, on platform version 5, the
// non-localised Startup folders and the tasks folder; from version 6 on, the scheduled
// tasks that start at logon or boot).
StartupEntryList CollectStartupEntries();
// The values of one key. A key that cannot be opened gives nothing.
StartupEntryList ListRegistryValues(const std::string& path);
// The files of one folder: Path when it is not empty, otherwise the special folder
// FolderNumber. Subfolders are skipped; a shortcut gives its target as the command.
StartupEntryList ListStartupFolder(int32_t folder_number, const std::string& path);

// A value's data as the entry's command text. REG_SZ is its text, REG_EXPAND_SZ and
// REG_MULTI_SZ keep their NULs, REG_DWORD is its signed decimal number. For every other
// type (REG_BINARY, REG_NONE, REG_QWORD ...): bytes that are all printable up to a NUL
// terminator (or the end) read as that text, because programs do store paths this
// way; anything else is "hex:" and two lower-case hexadecimal digits per byte,
// comma-separated, the form the registry editor exports ("hex:01,ff,00").
std::string RegistryDataText(const RegValueEntry& value);
