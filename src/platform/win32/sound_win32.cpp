#include "platform/sound.h"

#include <windows.h>
#include <mmsystem.h>

#include "platform/common/test_switches.h"

namespace platform {
bool PlayWaveAsync(const std::string& path) {
  test_switches::PlayedSounds().push_back(path);
  return sndPlaySoundA(path.c_str(), SND_ASYNC) != 0;
}

}  // namespace platform
