// Names and data outside every code page, against Wine's real registry and files. The
// values are written and read back here with the wide functions directly, so what the
// program does is compared with what Windows really holds.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/Ini.h"
#include "app/Log.h"
#include "guard/Blocking.h"
#include "guard/Locations.h"
#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"

namespace {

constexpr wchar_t kHkcuRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRegBackupKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";

// The same text twice: as the program holds it (UTF-8) and as Windows does (UTF-16).
struct Text {
  std::string utf8;
  std::wstring wide;
};

const Text kName{"RwTest Обновление 更新", L"RwTest Обновление 更新"};
const Text kFolderName{"Программы 程序", L"Программы 程序"};

struct WideValue {
  bool found = false;
  DWORD type = 0;
  std::vector<BYTE> bytes;
  bool operator==(const WideValue&) const = default;
};

WideValue ReadWide(HKEY root, const std::wstring& sub_key, const std::wstring& name) {
  WideValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return value;
  DWORD size = 0;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.bytes.resize(size);
    value.found = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.bytes.data(),
                                   &size) == ERROR_SUCCESS;
    value.bytes.resize(size);
  }
  RegCloseKey(key);
  return value;
}

// Writes Bytes as they are (a string's data need not be whole UTF-16 units).
void WriteWide(HKEY root,
               const std::wstring& sub_key,
               const std::wstring& name,
               DWORD type,
               const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(root, sub_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::string BytesOf(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::wstring WideText(const WideValue& value) {
  return std::wstring(reinterpret_cast<const wchar_t*>(value.bytes.data()),
                      value.bytes.size() / sizeof(wchar_t));
}

bool WideFileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string WideFileBytes(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "<missing>";
  std::string bytes(static_cast<std::size_t>(GetFileSize(file, nullptr)), '\0');
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes.substr(0, got);
}

std::wstring WideOf(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

const StartupEntry* Find(const StartupEntryList& entries, const std::string& name) {
  auto found = std::find_if(entries.begin(), entries.end(),
                            [&](const StartupEntry& entry) { return entry.Name == name; });
  return found == entries.end() ? nullptr : &*found;
}

class UnicodeTest : public ::testing::Test {
 protected:
  UnicodeTest() : program_(folder_.File("Runwarden.exe")) {
    sandbox_.Own(kHkcuRun);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
    pss_ = folder_.File("pss");
    // A program folder whose name no code page holds, made with the wide functions.
    wide_folder_ = WideOf(folder_.path()) + L"\\" + kFolderName.wide;
    CreateDirectoryW(wide_folder_.c_str(), nullptr);
    utf8_folder_ = folder_.path() + "\\" + kFolderName.utf8;
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  std::string pss_;
  std::wstring wide_folder_;
  std::string utf8_folder_;
};

}  // namespace

// Run values under names and with data no code page holds: Cyrillic and Chinese in three
// kinds of text value, a name with half a surrogate pair (which no UTF-8 can hold) and
// string data ending in half a UTF-16 unit (an odd number of bytes). A harmful program
// must not hide behind any: each is listed under its name, muted and restored byte for
// byte, and blocked with a backup under its own name.
TEST_F(UnicodeTest, RunValuesOutsideTheCodePageComeBackByteForByteAndAreBlockedWithABackup) {
  const std::wstring file = wide_folder_ + L"\\обновить.exe";
  HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  CloseHandle(created);
  const std::wstring command = file + L" /тихо 静默";
  const std::string utf8_command = utf8_folder_ + "\\обновить.exe /тихо 静默";
  struct Value {
    std::wstring name;
    DWORD type;
    std::string bytes;
    std::string listed_name, listed_command;  // "": not compared
  };
  const std::vector<Value> values = {
      {kName.wide, REG_SZ, BytesOf(command + L'\0'), kName.utf8, utf8_command},
      {kName.wide + L" расширенный", REG_EXPAND_SZ, BytesOf(command + L'\0'),
       kName.utf8 + " расширенный", ""},
      {kName.wide + L" многие", REG_MULTI_SZ, BytesOf(command + L'\0' + L"второй" + L'\0' + L'\0'),
       kName.utf8 + " многие", ""},
      {std::wstring(L"RwTest lone ") + wchar_t(0xD800) + L" half", REG_SZ,
       BytesOf(std::wstring(L"C:\\x") + wchar_t(0xDC01) + L".exe" + L'\0'),
       "RwTest lone \xED\xA0\x80 half", "C:\\x\xED\xB0\x81.exe"},
      {L"RwTest odd", REG_SZ, BytesOf(L"C:\\odd.exe") + 'Z', "RwTest odd", "C:\\odd.exe"},
  };
  std::vector<WideValue> before;
  for (const Value& value : values) {
    WriteWide(HKEY_CURRENT_USER, kHkcuRunKey, value.name, value.type, value.bytes);
    before.push_back(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, value.name));
    ASSERT_EQ(before.back().bytes.size(), value.bytes.size()) << value.listed_name;
  }

  StartupEntryList entries = ListRegistryValues(kHkcuRun);
  for (const Value& value : values) {
    SCOPED_TRACE(value.listed_name);
    const StartupEntry* entry = Find(entries, value.listed_name);
    ASSERT_NE(entry, nullptr) << "the value is not listed under its own name";
    if (!value.listed_command.empty())
      EXPECT_EQ(entry->Command, value.listed_command);
    EXPECT_TRUE(MuteEntry(*entry, pss_));
    EXPECT_FALSE(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, value.name).found);
  }
  RestoreMutedEntries();
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, values[i].name), before[i]) << i;

  entries = ListRegistryValues(kHkcuRun);
  const StartupEntry* entry = Find(entries, kName.utf8);
  ASSERT_NE(entry, nullptr);
  std::string utf8_file = utf8_folder_ + "\\обновить.exe";
  EXPECT_TRUE(platform::FileSize(utf8_file) >= 0) << "the program cannot see the file";
  ASSERT_TRUE(RemoveStartupEntry(*entry, utf8_file, pss_));
  EXPECT_FALSE(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, kName.wide).found);
  const std::wstring backup = std::wstring(kRegBackupKey) + L"\\" + kName.wide;
  EXPECT_EQ(WideText(ReadWide(HKEY_LOCAL_MACHINE, backup, L"command")), command + L'\0');
  EXPECT_EQ(WideText(ReadWide(HKEY_LOCAL_MACHINE, backup, L"item")),
            std::wstring(L"обновить.exe") + L'\0');
  EXPECT_EQ(folder_.Read("errlog.log"), "");
}

// A shortcut in the real Startup folder, named and pointing outside the code page.
TEST_F(UnicodeTest, AStartupShortcutNamedOutsideTheCodePageSurvivesMuteRestoreAndBlock) {
  const std::string startup = platform::SpecialFolderPath(platform::kFolderStartup);
  ASSERT_FALSE(startup.empty());
  const std::wstring link = WideOf(startup) + L"\\" + kName.wide + L".lnk";
  const std::string utf8_link = startup + "\\" + kName.utf8 + ".lnk";
  const std::string target = utf8_folder_ + "\\托盘.exe";
  ASSERT_TRUE(platform::WriteWholeFile(target, "MZ"));
  EXPECT_TRUE(WideFileExists(wide_folder_ + L"\\托盘.exe")) << "written under another name";
  ASSERT_TRUE(platform::CreateShortcut(utf8_link, target));
  ASSERT_TRUE(WideFileExists(link)) << "the shortcut is not where its name says";
  const std::string shortcut_bytes = WideFileBytes(link);

  StartupEntryList entries = CollectStartupEntries();
  const StartupEntry* entry = Find(entries, kName.utf8);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Location, utf8_link);
  EXPECT_EQ(entry->Command, target);

  ASSERT_TRUE(MuteEntry(*entry, pss_));
  EXPECT_FALSE(WideFileExists(link));
  RestoreMutedEntries();
  EXPECT_EQ(WideFileBytes(link), shortcut_bytes);

  ASSERT_TRUE(RemoveStartupEntry(*entry, target, pss_));
  EXPECT_FALSE(WideFileExists(link));
  EXPECT_EQ(WideFileBytes(WideOf(pss_) + L"\\" + kName.wide + L".lnk"), shortcut_bytes);
  EXPECT_EQ(ReadRegValue(BackupKeyOf(*entry), "item", ""), kName.utf8);
  DeleteFileW(link.c_str());
}

// A program installed in a folder no code page holds keeps its logs and its INI files
// there, in UTF-8; plain ASCII is what it always was.
TEST_F(UnicodeTest, LogsAndIniFilesAreWrittenInUtf8WhereverTheProgramIs) {
  ProgramLocation installed(utf8_folder_ + "\\Runwarden.exe");
  const std::string blocked = "Blocked File '" + utf8_folder_ + "\\обновить.exe'";
  LogEvent(blocked);
  std::string log = WideFileBytes(wide_folder_ + L"\\log.log");
  EXPECT_EQ(log.substr(log.find('\t') + 1), blocked);

  std::string ini = utf8_folder_ + "\\ver.ini";
  SetIniValue(ini, "Installed", "Запуск.exe", "1.4.0.9");
  SetIniValue(ini, "Installed", "Runwarden.exe", "1.4.0.9");
  EXPECT_EQ(WideFileBytes(wide_folder_ + L"\\ver.ini"),
            "[Installed]\r\nЗапуск.exe=1.4.0.9\r\nRunwarden.exe=1.4.0.9\r\n");
  EXPECT_EQ(GetIniValue(ini, "Installed", "Запуск.exe", ""), "1.4.0.9");
  EXPECT_EQ(GetIniValue(ini, "Installed", "runwarden.exe", ""), "1.4.0.9");
  DeleteFileW((wide_folder_ + L"\\log.log").c_str());
  DeleteFileW((wide_folder_ + L"\\ver.ini").c_str());
}
