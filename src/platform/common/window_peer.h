// What each platform does to show the forms runtime's controls (platform/window.h):
// the model calls these after every change; win32 keeps real windows in step, the
// portable side keeps nothing.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace platform::peer {

enum class Change {
  kGeometry,
  kCaption,
  kToolTip,
  kVisible,
  kEnabled,
  kColors,
  kFont,
  kValue,
  kRange,
  kItems,
  kListIndex,
  kTabStops,
  kDrawing,  // what a form or picture box paints itself (drawn texts, shapes on it)
  kZOrder,
  kTopMost,
  kFocus,  // the control took the focus within its form
};

// Called once the model of the control is complete, and when it goes.
void Create(Control& control);
void Destroy(Control& control);
void Update(Control& control, Change change);
WindowHandle Handle(const Control& control);
// Where the window system has the control, in pixels.
PixelRect Placed(const Control& control);
// Runs the Paint event now.
void Repaint(Control& control);

// The outer size of a form whose inside is Width x Height pixels.
void OuterSize(Form::Border border, int32_t* width, int32_t* height);

// The system's pixels per inch.
int32_t SystemDpi();
int32_t ScreenWidthPixels();
int32_t ScreenHeightPixels();

bool GradientFill(DeviceContext surface,
                  const GradientVertex& upper_left,
                  const GradientVertex& lower_right,
                  uint32_t mode);

// The model's part of the session's end: every open form is asked to unload.
void AskOpenFormsToUnload();

// Waits for a message or until the time is up (the message loop's rest).
void WaitForMessage(uint32_t timeout_milliseconds);

}  // namespace platform::peer
