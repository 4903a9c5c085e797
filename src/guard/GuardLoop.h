// The two runs at every logon: the single scan ("/r") and the guard ("/s").
#pragma once

// The guard: restores muted entries, repairs settings and scans.
void StartGuard();
// One scan that mutes every undecided entry.
void ScanOnce();
