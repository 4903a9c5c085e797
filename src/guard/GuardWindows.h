// What the scan and the guard need of the alert window: asking about an entry, showing
// a notice, and the HTTP client the window carries. The window lives above the guard,
// so the program's start-up fills these in (src/main/ProgramModes.cpp); tests may fill
// them with their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "guard/StartupEntry.h"

// Notice colours (0x00BBGGRR).
inline constexpr uint32_t kNoticeRed = 255;
inline constexpr uint32_t kNoticeBlue = 16711680;

struct GuardWindows {
  // Asks about Entry and returns once it is decided: true for Allow. Otherwise the entry
  // is blocked, and Block comes back true when the user chose Block Forever. WithTimer
  // runs the 30-second countdown; Code is the rating code, RatingText the line shown
  // about the file, Hash its digest ("" for none).
  std::function<bool(const StartupEntry& entry,
                     bool& block,
                     bool with_timer,
                     const std::string& code,
                     const std::string& rating_text,
                     const std::string& file_name,
                     const std::string& hash)>
      ShowAlert;
  // A notice in a colour for about 30 seconds; returns when it has gone.
  std::function<void(const std::string& message, uint32_t color)> ShowAlert2;
  // The update check and the error report, through the window's HTTP client.
  std::function<void()> CheckUpdates;
  std::function<void(const std::string& report)> SubmitError;
  std::function<void()> HideAlert;
  // Unloads the alert and the options window.
  std::function<void()> UnloadWindows;
};
