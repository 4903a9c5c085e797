// The alert and the options window's controls as real windows under Wine: answered from
// the keyboard once activated, read by a screen reader, pressed from another thread.
// (The end-to-end tests press the alert's buttons from another process.)
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "app/Settings.h"
#include "net/ServerAddress.h"
#include "platform/events.h"
#include "platform/window.h"
#include "registry/Registry.h"
#include "support/LoopbackPeer.h"
#include "support/RealInput.h"
#include "support/RegistrySandbox.h"
#include "ui/AlertWindow.h"

namespace {

constexpr char kHash[] = "00112233445566778899AABBCCDDEEFF";

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

HWND WaitForWindow(const std::function<HWND()>& find, DWORD timeout_ms = 15000) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    if (HWND found = find())
      return found;
    Sleep(10);
  }
  return nullptr;
}

HWND VisibleAlert() {
  HWND alert = FindWindowW(L"RunwardenForm", L"Runwarden Alert");
  return alert && IsWindowVisible(alert) ? alert : nullptr;
}

HWND Child(HWND parent, const wchar_t* class_name, const std::wstring& text) {
  return FindWindowExW(parent, nullptr, class_name, text.c_str());
}

class AlertWindowTest : public ::testing::Test {
 protected:
  AlertWindowTest() {
    SetServerAddressForTesting(peer_.Address());
    peer_.SetReply("HTTP/1.0 200 OK\r\n\r\nthanks");
    WriteRegValue(kSettingsKey, "chkAuto_BlockChk(0)", "0");
  }
  ~AlertWindowTest() override {
    if (driver_.joinable())
      driver_.join();
    SetServerAddressForTesting("");
  }

  // Runs Drive on another thread while this one shows the alert.
  bool ShowWhile(std::function<void()> drive, bool with_timer = false) {
    driver_ = std::thread(std::move(drive));
    StartupEntry entry{"Updater", "C:\\Tools\\updater.exe /quiet",
                       "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", kKindRegistry};
    bool allowed =
        alert_.ShowAlert(entry, block_, with_timer, "?", "Unknown File", "updater.exe", kHash);
    driver_.join();
    return allowed;
  }

  RegistrySandbox sandbox_;
  LoopbackPeer peer_;
  frmAlert alert_;
  std::thread driver_;
  bool block_ = false;
};

std::wstring FocusedText(HWND alert) {
  GUITHREADINFO info{sizeof info};
  GetGUIThreadInfo(GetWindowThreadProcessId(alert, nullptr), &info);
  return info.hwndFocus ? Text(info.hwndFocus) : L"(none)";
}

// The alert comes unasked, stays on top and cannot be closed, and leaves the keyboard to
// the window the user works in. A click on it, or the way Alt+Tab and the taskbar bring a window
// forward, activates it, and it is answered from the keyboard; then the keyboard goes back to the
// user's window.
TEST_F(AlertWindowTest, OnceActivatedItIsAnsweredFromTheKeyboard) {
  HWND user = CreateWindowExW(0, L"STATIC", L"The user's work", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              40, 40, 320, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(user, nullptr);
  struct Case {
    const char* activation;  // "button": a click on Block; "body": on the window; "forward"
    std::string keys;
    std::wstring focus_before_last_key;
    bool allowed, block;
  };
  const Case cases[] = {
      {"button", "", L"", false, false},
      {"body", "f", L"&Community", false, true},
      {"forward", "TE", L"&Allow", true, false},
      {"forward", "SS_", L"&Block", false, false},
  };
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.activation + (" " + expected.keys));
    SetForegroundWindow(user);
    platform::DoEvents();
    ASSERT_EQ(GetForegroundWindow(), user);
    std::atomic<bool> came_unasked{true}, activated{false}, lost{false};
    std::wstring focus_before_last_key;
    LONG style = 0, ex_style = 0;
    bool survived = false;
    bool allowed = ShowWhile([&] {
      HWND alert = WaitForWindow(VisibleAlert);
      if (!alert)
        return;
      for (DWORD start = GetTickCount(); GetTickCount() - start < 1000; Sleep(5))
        came_unasked = came_unasked && GetForegroundWindow() == user;
      // No close box, and close requests change nothing; it stays above other windows.
      style = GetWindowLongW(alert, GWL_STYLE);
      ex_style = GetWindowLongW(alert, GWL_EXSTYLE);
      SendMessageW(alert, WM_CLOSE, 0, 0);
      SendMessageW(alert, WM_SYSCOMMAND, SC_CLOSE, 0);
      PostMessageW(alert, WM_CLOSE, 0, 0);
      Sleep(100);
      survived = IsWindow(alert) && IsWindowVisible(alert);
      RECT area{};
      GetWindowRect(
          expected.activation == std::string("button") ? Child(alert, L"Button", L"&Block") : alert,
          &area);
      if (expected.activation == std::string("forward"))
        SetForegroundWindow(alert);
      else if (expected.activation == std::string("body"))
        ClickAt(area.left + 2, area.top + 2);
      else
        ClickAt((area.left + area.right) / 2, (area.top + area.bottom) / 2);
      if (!expected.keys.empty()) {
        activated = WaitForWindow([&] { return GetForegroundWindow() == alert ? alert : nullptr; },
                                  3000) != nullptr;
        TypeKeys(expected.keys.substr(0, expected.keys.size() - 1));
        focus_before_last_key = FocusedText(alert);
        TypeKeys(expected.keys.substr(expected.keys.size() - 1));
      }

      for (DWORD start = GetTickCount(); IsWindow(alert) && GetTickCount() - start < 10000;) {
        activated = activated || GetForegroundWindow() == alert;
        Sleep(5);
      }
      // An answer that went astray would leave the alert waiting for ever.
      if (IsWindow(alert)) {
        lost = true;
        SendMessageW(Child(alert, L"Button", L"&Block"), BM_CLICK, 0, 0);
      }
    });
    EXPECT_TRUE(came_unasked);
    EXPECT_TRUE(survived);
    EXPECT_FALSE(style & (WS_SYSMENU | WS_CAPTION));
    EXPECT_TRUE(ex_style & WS_EX_TOPMOST) << std::hex << ex_style;
    EXPECT_TRUE(activated);
    EXPECT_FALSE(lost) << "the answer did not reach the alert";
    EXPECT_EQ(allowed, expected.allowed);
    EXPECT_EQ(block_, expected.block);
    EXPECT_EQ(focus_before_last_key, expected.focus_before_last_key);
    EXPECT_EQ(GetForegroundWindow(), user);
  }
  DestroyWindow(user);
}

// What a screen reader reads for each button: its caption without the "&" that marks
// the access key, and that key as its shortcut.
TEST_F(AlertWindowTest, AScreenReaderReadsEachButtonsCaption) {
  struct Read {
    std::wstring name, shortcut;
  };
  std::map<std::wstring, Read> read;
  bool allowed = ShowWhile([&] {
    HWND alert = WaitForWindow(VisibleAlert);
    if (!alert)
      return;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // Taken from oleacc.dll as a screen reader does (its import library clashes with uuid).
    using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    auto accessible_object_from_window = reinterpret_cast<FromWindow>(
        GetProcAddress(LoadLibraryW(L"oleacc.dll"), "AccessibleObjectFromWindow"));
    for (const wchar_t* text : {L"&Community", L"&Allow", L"&Block", L"Block &Forever"}) {
      IAccessible* accessible = nullptr;
      if (!accessible_object_from_window ||
          FAILED(accessible_object_from_window(Child(alert, L"Button", text), OBJID_CLIENT,
                                               IID_IAccessible,
                                               reinterpret_cast<void**>(&accessible))))
        continue;
      VARIANT self{};
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      BSTR name = nullptr, shortcut = nullptr;
      accessible->get_accName(self, &name);
      accessible->get_accKeyboardShortcut(self, &shortcut);
      read[text] = {name ? name : L"", shortcut ? shortcut : L""};
      SysFreeString(name);
      SysFreeString(shortcut);
      accessible->Release();
    }
    CoUninitialize();
    SendMessageW(Child(alert, L"Button", L"&Allow"), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(allowed);
  const std::map<std::wstring, Read> expected = {{L"&Community", {L"Community", L"Alt+C"}},
                                                 {L"&Allow", {L"Allow", L"Alt+A"}},
                                                 {L"&Block", {L"Block", L"Alt+B"}},
                                                 {L"Block &Forever", {L"Block Forever", L"Alt+F"}}};
  ASSERT_EQ(read.size(), expected.size());
  for (const auto& [text, want] : expected) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(read[text].name, want.name);
    EXPECT_EQ(read[text].shortcut, want.shortcut);
  }
}

TEST(RealControlsTest, EveryControlIsAWindowWhoseTextIsItsCaption) {
  platform::Form form("frmControls", platform::Form::Border::kFixedSingle);
  form.SetCaption("Controls \xC3\xA9");  // UTF-8 inside, UTF-16 for Windows
  form.SetClientSize(6000, 4000);
  platform::Control page(form, platform::ControlKind::kPictureBox, "Picture1");
  page.Move(0, 0, 6000, 4000);
  platform::Control check(page, platform::ControlKind::kCheckBox, "chkOne");
  check.SetCaption("Auto Update");
  check.Move(150, 150, 3000, 300);
  platform::Control label(page, platform::ControlKind::kLabel, "lblOne");
  label.SetCaption("Read program log.");
  label.Move(150, 600, 3000, 300);
  platform::Control bar(page, platform::ControlKind::kHScrollBar, "HScroll1");
  bar.SetRange(0, 90, 1, 10);
  bar.Move(150, 1050, 3000, 255);
  platform::Control list(form, platform::ControlKind::kListBox, "List1");
  list.AddItem("Manage");
  list.AddItem("Blocking");
  list.Move(3300, 150, 1500, 900);
  form.Show();

  HWND window = static_cast<HWND>(form.Handle());
  EXPECT_EQ(Text(window), L"Controls \u00e9");
  HWND page_window = static_cast<HWND>(page.Handle());
  EXPECT_TRUE(Child(page_window, L"Button", L"Auto Update"));
  HWND label_window = static_cast<HWND>(label.Handle());
  EXPECT_TRUE(IsChild(window, label_window));
  EXPECT_EQ(Text(label_window), L"Read program log.");

  // The user drags the bar; the model follows and fires Change.
  int changes = 0;
  bar.on_change = [&] { ++changes; };
  SendMessageW(page_window, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40),
               reinterpret_cast<LPARAM>(bar.Handle()));
  SendMessageW(page_window, WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0),
               reinterpret_cast<LPARAM>(bar.Handle()));
  EXPECT_EQ(bar.Value(), 50);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(GetScrollPos(static_cast<HWND>(bar.Handle()), SB_CTL), 50);

  HWND list_window = static_cast<HWND>(list.Handle());
  EXPECT_EQ(SendMessageW(list_window, LB_GETCOUNT, 0, 0), 2);
  int chosen = -1;
  list.on_click = [&] { chosen = list.ListIndex(); };
  SendMessageW(list_window, LB_SETCURSEL, 1, 0);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list_window), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list_window));
  EXPECT_EQ(chosen, 1);

  // The label's tooltip is a tool of a real tooltip window.
  label.SetToolTipText("The whole text \xE2\x9C\x93");
  HWND tips = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND candidate, LPARAM found) -> BOOL {
        wchar_t name[64] = {};
        GetClassNameW(candidate, name, 64);
        if (_wcsicmp(name, TOOLTIPS_CLASSW) != 0)
          return TRUE;
        *reinterpret_cast<HWND*>(found) = candidate;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&tips));
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
  wchar_t tip[128] = {};
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.lpszText = tip;
  ASSERT_TRUE(SendMessageW(tips, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
  EXPECT_EQ(std::wstring(tip), L"The whole text \u2713");
  EXPECT_EQ(reinterpret_cast<HWND>(tool.uId), label_window);

  label.SetCaption("Changed \xE2\x9C\x93");
  EXPECT_EQ(Text(label_window), L"Changed \u2713");
}

}  // namespace
