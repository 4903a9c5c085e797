// Runwarden.exe started without an argument: the options window, answered through the
// window system as a user would, from a folder with a blank in its path.
#include <windows.h>

#include <gtest/gtest.h>

#include "ProgramUnderTest.h"
#include "app/Ini.h"
#include "app/Settings.h"
#include "guard/LogonStart.h"
#include "platform/files.h"
#include "platform/tasks.h"
#include "registry/Registry.h"
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

  std::string AnswerOk() {
    HWND dialog = program_->WaitForDialog(kTimeoutMs);
    EXPECT_NE(dialog, nullptr) << "no message box";
    if (!dialog)
      return "";
    std::string text = MessageBoxText(dialog);
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    // The next box (if any) replaces this one.
    for (int i = 0; i < 100 && IsWindow(dialog); ++i)
      Sleep(20);
    return text;
  }

  RegistrySandbox sandbox_;
  std::unique_ptr<RunningProgram> program_;
};

// One life of the options window. Read Log opens the log in Notepad, quoted for the blank
// in its path. Wine says it is Windows 7 and has a Task Scheduler: Enable registers the
// logon tasks and starts the guard by its full path (the unit tests see the rest of Enable
// and Disable). When the session ends, the options are stored and the program ends.
TEST_F(OptionsWindowTest, ReadLogEnableAndTheSessionsEnd) {
  ASSERT_TRUE(platform::WriteWholeFile(kFolder + "\\log.log", "Allowed File 'C:\\a.exe'\r\n"));
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  PressLater(FindDescendant(window, L"Button", L"Read Log"));
  // Notepad names the file it opened in its caption.
  HWND notepad = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    for (HWND w = FindWindowExW(nullptr, nullptr, nullptr, nullptr); w && !notepad;
         w = FindWindowExW(nullptr, w, nullptr, nullptr))
      if (IsWindowVisible(w) && WideWindowText(w).find(L"log.log") != std::wstring::npos)
        notepad = w;
    return notepad != nullptr;
  })) << "notepad did not open log.log";
  DWORD notepad_id = 0;
  GetWindowThreadProcessId(notepad, &notepad_id);
  // (Notepad cuts its own copy of the line at the closing quote while reading it, so only
  // the opening one is looked for.)
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

  // The started guard marks its start in ver.ini, like every run of the program.
  DeleteFileA((kFolder + "\\ver.ini").c_str());
  PressLater(FindDescendant(window, L"Button", L"Enable/Disable Runwarden"));
  EXPECT_EQ(AnswerOk(), "Do you want to enable Runwarden?");
  EXPECT_EQ(AnswerOk(), "Runwarden installed sucessfully!");
  EXPECT_EQ(TaskSandbox::Registered(), 2);
  EXPECT_TRUE(WaitUntil([] {
    return !GetIniValue(kFolder + "\\ver.ini", "Installed", "Runwarden.exe", "").empty();
  })) << "the guard did not start";

  SendMessageW(FindDescendant(window, L"Button", L"Send Errors"), BM_CLICK, 0, 0);
  EXPECT_NE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                                nullptr),
            0);
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, nullptr);
  DWORD exit_code = 1;
  EXPECT_TRUE(program_->WaitForExit(kTimeoutMs, &exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(ReadRegValue(kSettingsKey, "chkSend_Errors(7)", ""), "0");
}

}  // namespace
