// frmAlert: the small window that slides up at the bottom right of the screen.
//
// How a caller uses it (the scan and the guard reach it through functions that
// src/main wires in, so guard/ never includes ui/):
//
//   bool block = false;
//   bool allow = ShowAlert(entry, block, OptAutoBlockEntries, code, rating_text,
//                          GetFileName(file), hash);
//     Asks about one autostart entry and returns when it is decided: true for Allow;
//     otherwise block the entry, and when `block` is true (Block Forever) also list
//     it as blocked. `code` is the one-character rating code, `rating_text` the line
//     shown in the scrolling strip, `hash` the file's digest or "" (then the Community
//     button is off and nothing is reported). A decision taken with a button is
//     reported to the community service before the call returns.
//   ShowAlert2("A harmful file ...", 255);
//     A notice in a colour (0x00BBGGRR: 255 red, 16711680 blue) for about 30 seconds.
//   AlertProgramSupport().CheckUpdates();  AlertProgramSupport().SubmitError(text);
//     The program's one HTTP client lives on this window; reaching it needs no window.
//   HideAlert(); UnloadAlert();
//
// Every call waits inside, letting messages run (clicks, timers, sockets), so only one
// alert is on screen at a time. Everything runs on the caller's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "guard/StartupEntry.h"
#include "net/MakerService.h"
#include "platform/window.h"

inline constexpr char kCountdownBlocked[] = "Blocked";
inline constexpr char kCheckingCommunity[] = "Checking from community...";
inline constexpr char kCommunityPositive[] = "Community Returned Positive Ratings :";
inline constexpr char kCommunityNone[] = "No Results found! Blocking...";
inline constexpr char kCommunityFew[] = "Community Returned few ratings! Blocking...";
inline constexpr char kCommunityNegative[] = "Community Returned Nagative ratings! Blocking...";
// The alert's window text, by which the window system finds it.
inline constexpr char kAlertCaption[] = "Runwarden Alert";

class frmAlert {
 public:
  // The window as designed; it exists while the form is loaded.
  struct Controls;

  frmAlert();
  ~frmAlert();

  // The form's single default instance.
  static frmAlert& Default();

  bool ShowAlert(const StartupEntry& data,
                 bool& block,
                 bool with_timer,
                 const std::string& rating,
                 const std::string& file_info,
                 const std::string& file_name,
                 const std::string& file_hash);
  void ShowAlert2(const std::string& message, uint32_t color);

  ctlProgramSupport& ctlProgramSupport1() { return program_support_; }
  void Hide();
  void Unload();
  // The controls while the form is loaded, otherwise nullptr (tests look at them).
  Controls* controls() { return controls_.get(); }

  // Members that keep their values while the form is unloaded.
  int32_t Decision = 0;  // 0 none yet, 1 Allow, 2 Block, 3 Block Forever
  int32_t SecondsLeft = -1;
  int32_t CountdownSeconds = 30;
  std::string FileInfo;
  int32_t TickerOffset = 0;  // twips
  bool WithTimer = false;
  bool CommunityBeforeBlock = false;
  std::string FileHash;
  bool NoticeMode = false;
  // When the wait loop saw the decision (TickCount), for the click benchmark.
  uint32_t DecisionSeenAt = 0;

 private:
  void Load();
  void Form_Load();
  void Form_MouseMove(int32_t x, int32_t y);
  void Form_Activate();
  bool StopCountdown();
  void Timer1_Timer();
  void Timer2_Timer();
  void CtlCommunity_Click();
  void CtlOK_Click();
  void AnimateHeight(int32_t new_height, bool grow);
  void SlideWindow(int32_t mode, int32_t opacity);
  int32_t CommunityLookup(const std::string& hash);
  int32_t ButtonsHeight() const;
  // Lets messages run for a while (nothing of the caller's runs meanwhile).
  void WaitLettingEventsRun(uint32_t milliseconds);

  std::unique_ptr<Controls> controls_;
  ctlProgramSupport program_support_;
  // The ticker rests until this tick (at the start and end of a pass) without waiting
  // inside its handler.
  uint32_t ticker_rest_until_ = 0;
  bool ticker_resting_ = false;
};

// The default instance's procedures, for the scan and the guard.
bool ShowAlert(const StartupEntry& data,
               bool& block,
               bool with_timer,
               const std::string& rating,
               const std::string& file_info,
               const std::string& file_name,
               const std::string& file_hash);
void ShowAlert2(const std::string& message, uint32_t color);
ctlProgramSupport& AlertProgramSupport();
void HideAlert();
void UnloadAlert();

struct frmAlert::Controls {
  explicit Controls(frmAlert& owner);

  platform::Form form;
  platform::Control lblTitle;
  platform::Control lblName, lblCommand, lblLocation, lblRating;
  platform::Control Label1_1, Label1_2, Label1_3, Label1_5;
  platform::Control Shape1, Shape2;
  platform::Control Picture2;
  platform::Control Shape3;
  platform::Control CtlCommunity, CtlAllow, CtlBlock, CtlBlockForever;
  platform::Control Label2;
  platform::Control fr_comm;
  platform::Control Label3, List1, Label5, progress, Image4, Image5, Label6, CtlOK;
  platform::Control Picture1;
  platform::Control Label4, Label1_0;
  platform::Timer Timer1, Timer2;

  // The control array Label1 by its index (0, 1, 2, 3, 5).
  platform::Control& Label1(int32_t index);
};
