// Windows as far as the application core needs them: message boxes and translucency.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using WindowHandle = void*;

// Message box styles and answers, with the platform's numbers.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbIconCritical = 0x10;
inline constexpr uint32_t kMbIconExclamation = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Shows a modal message box and returns the button pressed. An empty title gives the
// program's default title.
int ShowMessageBox(const std::string& text, const std::string& title, uint32_t style);
// Answers message boxes instead of showing them (tests); an empty function restores them.
using MessageBoxResponder =
    std::function<int(const std::string& text, const std::string& title, uint32_t style)>;
void SetMessageBoxResponderForTesting(MessageBoxResponder responder);

// Adds the layered style to the window and sets its alpha (0 transparent, 255 opaque).
bool SetLayeredAlpha(WindowHandle window, uint8_t alpha);

}  // namespace platform
