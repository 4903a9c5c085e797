#include "app/OsVersion.h"

#include "platform/system.h"

int32_t SetWindowTransparency(platform::WindowHandle window, int16_t level) {
  if (level < 0 || level > 255) return 1;
  platform::SetLayeredAlpha(window, static_cast<uint8_t>(level));
  return 0;
}

int32_t GetOSMajorVersion() { return platform::MajorVersion(); }
