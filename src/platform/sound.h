// Sounds.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts playing a wave file and returns at once. False when it cannot be played.
bool PlayWaveAsync(const std::string& path);

// Every path passed to PlayWaveAsync since the last call (tests).
std::vector<std::string> TakePlayedSoundsForTesting();

}  // namespace platform
