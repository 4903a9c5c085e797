// Runwarden.exe started without an argument: the options window, answered through the
// window system as a user would, from a folder with a blank in its path.
#include <windows.h>

#include <gtest/gtest.h>

#include "ProgramUnderTest.h"
#include "app/basSettings.h"
#include "app/modINI.h"
#include "guard/LogonStart.h"
#include "platform/tasks.h"
#include "registry/basReg.h"
#include "support/RegistrySandbox.h"
#include "support/ScopedOverrides.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;
const std::string kFolder = "C:\\Program Files\\Runwarden Options Test";
const std::string kExe = kFolder + "\\Runwarden.exe";

class OptionsWindowTest : public ::testing::Test {
 protected:
  OptionsWindowTest() {
    EXPECT_TRUE(InstallProgramAt(kExe));
    ForgetAutostart();
  }
  ~OptionsWindowTest() override {
    EndProcessesStartedFrom(kFolder);
    ForgetAutostart();
    // The guard that Enable starts finds no rule files here and logs so.
    for (const char* file : {"ver.ini", "log.log", "errlog.log", "Runwarden.exe"})
      DeleteFileA((kFolder + "\\" + file).c_str());
    RemoveDirectoryA(kFolder.c_str());
  }
  static void ForgetAutostart() {
    DeleteRegValue(kRunKey, "Runwarden");
    DeleteRegValue(kRunOnceKey, "Runwarden");
    for (const LogonTask& task : kLogonTasks)
      platform::DeleteTask(task.path);
    platform::DeleteTaskFolder(kLogonTaskFolder);
  }

  // Starts the program without an argument and waits for its window.
  HWND Open() {
    program_ = std::make_unique<RunningProgram>("\"" + kExe + "\"");
    EXPECT_TRUE(program_->started());
    HWND window = program_->WaitForWindow(L"RunwardenForm", L"Manage Runwarden", kTimeoutMs);
    EXPECT_NE(window, nullptr) << "no options window";
    return window;
  }

  // Presses a button of the window and answers the message box it opens with OK.
  std::string PressAndAnswer(HWND window, const std::wstring& button_text) {
    HWND button = FindDescendant(window, L"Button", button_text);
    EXPECT_NE(button, nullptr);
    if (!button)
      return "";
    PressLater(button);
    return AnswerOk();
  }

  std::string AnswerOk(std::string* title = nullptr) {
    HWND dialog = program_->WaitForDialog(kTimeoutMs);
    EXPECT_NE(dialog, nullptr) << "no message box";
    if (!dialog)
      return "";
    std::string text = MessageBoxText(dialog);
    if (title)
      *title = WindowText(dialog);
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    // The next box (if any) replaces this one.
    for (int i = 0; i < 100 && IsWindow(dialog); ++i)
      Sleep(20);
    return text;
  }

  bool CloseAndWait(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD exit_code = 1;
    bool ended = program_->WaitForExit(kTimeoutMs, &exit_code);
    return ended && exit_code == 0;
  }

  RegistrySandbox sandbox_;
  std::unique_ptr<RunningProgram> program_;
};

// Wine says it is Windows 7 and has a Task Scheduler: Enable registers the logon task
// (Wine's scheduler keeps its registration, not its trigger and actions).
TEST_F(OptionsWindowTest, EnableRegistersTheLogonTaskStartsTheGuardAndDisableTakesItAway) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  // The started guard marks its start in ver.ini, like every run of the program.
  DeleteFileA((kFolder + "\\ver.ini").c_str());

  std::string title;
  HWND enable = FindDescendant(window, L"Button", L"Enable/Disable Runwarden");
  ASSERT_NE(enable, nullptr);
  PressLater(enable);
  EXPECT_EQ(AnswerOk(&title), "Do you want to enable Runwarden?");
  EXPECT_EQ(title, "Runwarden");
  EXPECT_EQ(AnswerOk(), "Runwarden installed sucessfully!");
  EXPECT_EQ(TaskSandbox::Registered(), 2);
  EXPECT_EQ(ReadRegValue(kRunKey, "Runwarden", "none"), "none");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Unload", ""), "0");
  // The guard was started by its full path, although the folder holds a blank.
  DWORD start = GetTickCount();
  while (GetIniValue(kFolder + "\\ver.ini", "Installed", "Runwarden.exe", "").empty() &&
         GetTickCount() - start < kTimeoutMs)
    Sleep(100);
  EXPECT_FALSE(GetIniValue(kFolder + "\\ver.ini", "Installed", "Runwarden.exe", "").empty())
      << "the guard did not start";

  WriteRegValue(kRunOnceKey, "Runwarden", "\"" + kExe + "\" /r");
  PressLater(enable);
  EXPECT_EQ(AnswerOk(), "Do you want to disable Runwarden?");
  EXPECT_EQ(AnswerOk(), "Runwarden uninstalled sucessfully!");
  EXPECT_EQ(TaskSandbox::Registered(), 0);
  EXPECT_EQ(ReadRegValue(kRunKey, "Runwarden", "gone"), "gone");
  EXPECT_EQ(ReadRegValue(kRunOnceKey, "Runwarden", "gone"), "gone");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Unload", ""), "1");
  EXPECT_TRUE(CloseAndWait(window));
}

TEST_F(OptionsWindowTest, ResetAllRulesEmptiesTheLists) {
  WriteRegValue(kSettingsKey, "Allowed", "<#>C:\\a.exe<#>AA");
  WriteRegValue(kSettingsKey, "Blocked", "<#>C:\\b.exe<#>BB");
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(PressAndAnswer(window, L"Reset All Rules"), "All rules deleted!");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Allowed", "?"), "");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Blocked", "?"), "");
  EXPECT_TRUE(CloseAndWait(window));
}

TEST_F(OptionsWindowTest, ChangedSettingsAreStoredWhenTheWindowCloses) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  HWND update = FindDescendant(window, L"Button", L"Auto Update");
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(SendMessageW(update, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(update, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(update, BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // The user drags the transparency bar to 40: the window turns 40% transparent.
  HWND label = DragTransparencyBar(window, 40);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(WideWindowText(label), L"40%");
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(window, &key, &alpha, &flags));
  EXPECT_EQ(alpha, 153);

  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkAuto_Update(6)", "none"), "none");
  EXPECT_TRUE(CloseAndWait(window));
  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkAuto_Update(6)", ""), "0");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkAuto_Block(5)", ""), "1");
  EXPECT_EQ(ReadRegValue(kSettingsKey, "Hscroll1(0)", ""), "40");

  // The next start shows what was stored.
  window = Open();
  ASSERT_NE(window, nullptr);
  update = FindDescendant(window, L"Button", L"Auto Update");
  EXPECT_EQ(SendMessageW(update, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_NE(FindDescendant(window, L"Static", L"40%"), nullptr);
  EXPECT_TRUE(CloseAndWait(window));
}

TEST_F(OptionsWindowTest, WhenTheSessionEndsTheSettingsAreStoredAndTheProgramEnds) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  HWND send_errors = FindDescendant(window, L"Button", L"Send Errors");
  ASSERT_NE(send_errors, nullptr);
  SendMessageW(send_errors, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                                nullptr) != 0,
            true);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer);
  DWORD exit_code = 1;
  EXPECT_TRUE(program_->WaitForExit(kTimeoutMs, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkSend_Errors(7)", ""), "0");
}

TEST_F(OptionsWindowTest, ReadLogOpensTheLogInNotepadDespiteTheBlankInThePath) {
  HANDLE log = CreateFileA((kFolder + "\\log.log").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(log, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(log, "12/5/2026 3:45:12 AM Allowed File 'C:\\a.exe'\r\n", 46, &written, nullptr);
  CloseHandle(log);
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  HWND read_log = FindDescendant(window, L"Button", L"Read Log");
  ASSERT_NE(read_log, nullptr);
  PressLater(read_log);
  // Notepad names the file it opened in its caption.
  HWND notepad = nullptr;
  DWORD start = GetTickCount();
  while (!notepad && GetTickCount() - start < kTimeoutMs) {
    for (HWND candidate = FindWindowExW(nullptr, nullptr, nullptr, nullptr); candidate;
         candidate = FindWindowExW(nullptr, candidate, nullptr, nullptr)) {
      if (IsWindowVisible(candidate) &&
          WideWindowText(candidate).find(L"log.log") != std::wstring::npos) {
        notepad = candidate;
        break;
      }
    }
    Sleep(100);
  }
  ASSERT_NE(notepad, nullptr) << "notepad did not open log.log";
  DWORD notepad_id = 0;
  GetWindowThreadProcessId(notepad, &notepad_id);
  // Quoted, as any path with a blank must be on a command line. (Notepad cuts its own
  // copy of the line at the closing quote while reading it, so only the opening one is
  // looked for.)
  std::wstring command = ProcessCommandLine(notepad_id);
  EXPECT_NE(command.find(L" \"C:\\Program Files\\Runwarden Options Test\\log.log"),
            std::wstring::npos)
      << std::string(command.begin(), command.end());
  HANDLE editor = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, notepad_id);
  PostMessageW(notepad, WM_CLOSE, 0, 0);
  if (editor) {
    if (WaitForSingleObject(editor, 10000) != WAIT_OBJECT_0)
      TerminateProcess(editor, 1);
    CloseHandle(editor);
  }
  EXPECT_TRUE(CloseAndWait(window));
}

}  // namespace
