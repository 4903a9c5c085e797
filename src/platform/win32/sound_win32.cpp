#include "platform/sound.h"

#include <windows.h>
#include <mmsystem.h>

namespace platform {
namespace {

std::vector<std::string>& Played() {
  static std::vector<std::string> played;
  return played;
}

}  // namespace

bool PlayWaveAsync(const std::string& path) {
  Played().push_back(path);
  return sndPlaySoundA(path.c_str(), SND_ASYNC) != 0;
}

std::vector<std::string> TakePlayedSoundsForTesting() {
  std::vector<std::string> played;
  played.swap(Played());
  return played;
}

}  // namespace platform
