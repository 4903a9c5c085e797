#include "ui/Transparency.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "app/Settings.h"
#include "platform/system.h"
#include "registry/Registry.h"

int32_t TransparencyAlpha(int32_t percent) {
  // In whole numbers, so 127.5 is exactly a half and goes to the even 128.
  int32_t twice = 2 * 255 * (100 - percent);
  int32_t whole = twice / 200;
  int32_t rest = twice % 200;
  if (rest > 100 || (rest == 100 && whole % 2 == 1))
    ++whole;
  return whole;
}

int32_t StoredTransparency() {
  std::string text =
      ReadRegValue(kSettingsKey, "Hscroll1(0)", std::to_string(kTransparencyDefault));
  const char* begin = text.c_str();
  char* end = nullptr;
  double value = std::strtod(begin, &end);
  while (end && *end == ' ')
    ++end;
  if (end == begin || (end && *end) || !std::isfinite(value))
    return kTransparencyDefault;
  return std::clamp(static_cast<int32_t>(std::clamp(std::floor(value), -1.0, 1000.0)), 0,
                    kTransparencyMax);
}

int32_t SetWindowTransparency(platform::WindowHandle window, int16_t level) {
  if (level < 0 || level > 255) return 1;
  platform::SetLayeredAlpha(window, static_cast<uint8_t>(level));
  return 0;
}
