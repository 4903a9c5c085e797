#include "platform/sound.h"

#include <windows.h>
#include <mmsystem.h>

#include "platform/common/test_switches.h"
#include "platform/win32/wide_text.h"

namespace platform {
bool PlayWaveAsync(const std::string& path) {
  if (test_switches::RecordSounds()) test_switches::PlayedSounds().push_back(path);
  return sndPlaySoundW(Widen(path).c_str(), SND_ASYNC) != 0;
}

}  // namespace platform
