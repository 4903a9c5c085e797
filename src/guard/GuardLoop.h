// The two runs at every logon (src/guard/LogonStart.h says what starts them): the single
// scan ("/r", before other programs start) and the guard ("/s").
#pragma once

#include <cstdint>
#include <string>

#include "guard/GuardWindows.h"

inline constexpr char kRunKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunOnceKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr char kUserRunKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kAutostartValue[] = "Runwarden";
// Between two passes of a resident guard.
inline constexpr uint32_t kGuardPauseMs = 5000;
// Held by the single scan for as long as it runs, in its logon session.
inline constexpr char kEarlyScanLock[] = "Runwarden.EarlyScan";
// The longest the guard waits for it before it puts the muted entries back: the first
// scan of a day takes the digest of every autostart file.
inline constexpr uint32_t kEarlyScanWaitMs = 5 * 60 * 1000;

// Set once the first pass found hijacked settings: the pass repeats from then on.
extern bool KeepGuarding;

// What Windows starts for this program with Switch ("/s" or "/r"): the program's path in
// quotes, so a folder with a blank (C:\Program Files\...) cannot start C:\Program.exe.
std::string AutostartCommand(const std::string& switch_text);

// The guard: refuses to run without both rule files (logged, a critical message box,
// and false: the program must end at once). Otherwise writes its RunOnce and Run values
// (unless a logon task starts it), waits while a single scan of the session still runs
// (letting messages run; one still running after kEarlyScanWaitMs leaves the muted entries
// for the next start), puts the muted entries back and makes its pass: repair, scan,
// and then either the update check and the end, or (hijacked settings found) the red notice once
// and a pass every 5 seconds for as long as the process lives. The pause lets messages run, and the
// program ends when the session does. A guard that cannot write the machine's settings
// (a standard user) only puts the muted entries back and says so once, in red.
bool StartGuard(const GuardWindows& windows);
// One scan in RunOnceMode, holding kEarlyScanLock: every undecided entry is muted,
// nothing is asked; without the machine's settings only the user's own values are.
void ScanOnce(const GuardWindows& windows);

// The resident guard's rest between two passes: messages run until the time is up.
void PauseLettingMessagesRun(uint32_t milliseconds);

// Ends a resident guard after this many passes (tests); 0 lets it run for ever.
void LimitGuardPassesForTesting(int passes);
