// Sounds.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts playing a wave file and returns at once. False when it cannot be played.
bool PlayWaveAsync(const std::string& path);

// While on, every path passed to PlayWaveAsync is kept for TakePlayedSoundsForTesting;
// off (as in the program), nothing is. Turning it off drops what was kept.
void RecordPlayedSoundsForTesting(bool record);
// The paths kept since the last call.
std::vector<std::string> TakePlayedSoundsForTesting();

}  // namespace platform
