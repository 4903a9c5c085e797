// The user's lists: Allowed and Blocked (pairs "<#>file<#>hash" in one text value each),
// and the Muted key, which holds the entries that the early scan took out of their place
// until the guard puts them back.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "guard/StartupEntry.h"

inline constexpr char kMutedKey[] = "HKLM\\SOFTWARE\\Runwarden\\Muted";
// The same records for a user whose runs cannot write the machine's settings.
inline constexpr char kUserMutedKey[] = "HKCU\\Software\\Runwarden\\Muted";

// Set when this process cannot write the machine's settings (a standard user): no
// decision could be kept, nothing blocked with its backup, so only the user's own
// registry values are held back, and their records go to the user's key.
extern bool LimitedRights;
// kUserMutedKey while LimitedRights, else kMutedKey.
std::string MutedRecordsKey();
// Whether the Muted key holds a record of any form.
bool HasMutedRecords(const std::string& muted_key);
// A value of one of the user's own registry locations (HKCU).
bool IsUserRegistryEntry(const StartupEntry& entry);

std::string GetAllowedList();
std::string GetBlockedList();

// True when Key equals a whole field (a file or a hash) of the list. The Allowed list is
// compared with case, the Blocked list without. An empty key is on no list.
bool IsOnList(const std::string& list, const std::string& key, bool match_case);
bool IsAllowed(const std::string& key);
bool IsBlocked(const std::string& key);

// The lists as a pass looks entries up in them: each list read and split once, then
// every lookup a set search, with the same answers as IsAllowed and IsBlocked. Forget
// makes the next lookup read the lists again (the pass appended to one, or the user
// could have emptied them while an alert waited).
class ListLookup {
 public:
  bool IsAllowed(const std::string& key);
  bool IsBlocked(const std::string& key);
  void Forget();

 private:
  void Read();
  bool read_ = false;
  std::unordered_set<std::string> allowed_;
  std::unordered_set<std::string> blocked_;  // in lower case
};
// Appends "<#>" File "<#>" Hash to the list value ("Allowed" or "Blocked").
long AppendToList(const std::string& list_name, const std::string& file, const std::string& hash);
// Takes every pair whose file or hash is one of Keys (compared without case) off the
// Blocked list, the rest kept in order. True when no such pair is left: nothing to take
// off, or the shorter list written and read back.
bool UnlistBlocked(const std::vector<std::string>& keys);

// Empties the Allowed and Blocked lists (the Muted records stay). The status of the
// first refused write, 0 when both were written.
long ResetRules();

// The folder where muted and blocked Startup files wait: windir, "\pss".
std::string PssFolder();
// Folder\Name when nothing of that name is there, else the first free "Name (n).ext":
// nothing in the pss folder is ever replaced.
std::string FreePathIn(const std::string& folder, const std::string& name);

// Takes the entry out of its place and records it under Muted. The record is written
// and read back first; only then is the value deleted or changed, or the file moved (to
// a free name in PssFolder). A registry value's record is named Location "\" Name and
// keeps the value's type and raw data; a value whose key and name that name would not
// give back, a list's item and a moved folder get a numbered subkey of their own in the
// form of Runwarden's backups (OwnBackups.h), with the value as it was and as it was
// left. False, with a
// line in errlog.log, when the entry was left where it was.
bool MuteEntry(const StartupEntry& entry, const std::string& pss_folder);

// Puts every muted entry back (the machine's records and the user's), each record at
// most once per call; the numbered records the newest first. A file comes back only
// when its muted copy exists; a record whose copy is gone is logged and kept.
void RestoreMutedEntries();
