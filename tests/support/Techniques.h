// The autostart techniques of the logon and boot places as an attacker plants them (the
// registry values and Startup files of MITRE ATT&CK T1547.001, .004, .014 and T1037.001 as
// their public atomic tests write them), and what a clean Windows keeps in the same places:
// one table for the scan's unit tests and for the end-to-end run of the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "guard/BlockedBackups.h"
#include "platform/registry.h"
#include "support/RegistrySandbox.h"

struct Technique {
  std::string name;           // what it is, for messages
  std::string key, value;     // a Startup file (kKindFile): its folder and its name
  platform::RegData planted;  // the value once planted; a Startup file's bytes
  std::string command;        // the entry's command
  std::string kind;           // the entry's kind
  std::string location;       // the entry's Location
  bool own_key;  // the key is the technique's own (removed whole), else only the value is
  BackupStore store = BackupStore::kOwn;  // where blocking it keeps the backup
};

// Every technique, each planting Program(tag) (a program, DLL or script path, unique per
// tag; for a moved Startup folder, a folder's path).
std::vector<Technique> Techniques(const std::function<std::string(const std::string&)>& program);

// The values a clean Windows keeps in those places: never an entry.
struct CleanValue {
  std::string key, value;
  platform::RegData data;
  bool own_key;
};
std::vector<CleanValue> CleanWindowsValues();

// Makes the sandbox own what the techniques and the clean values write (a Startup file,
// and its muted copies in the pss folder, too).
void OwnTechniquePlaces(RegistrySandbox& sandbox, const std::vector<Technique>& techniques);

// Writes each value (creating its key) or file; false with a message when one cannot be written.
::testing::AssertionResult Plant(const std::vector<Technique>& techniques);
::testing::AssertionResult PlantCleanWindows();
// Whether every technique's value or file holds exactly what was planted.
::testing::AssertionResult AsPlanted(const std::vector<Technique>& techniques);
