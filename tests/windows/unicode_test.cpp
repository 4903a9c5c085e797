// What only the real registry, files and shell of Wine show: names and data outside every
// code page (written and read back here with the wide functions directly, so what the
// program does is compared with what Windows really holds), the Startup folders the shell
// names and shortcuts the shell made.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/Ini.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "app/TextFunctions.h"
#include "guard/Blocking.h"
#include "guard/Locations.h"
#include "guard/RuleLists.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/win32/wide_text.h"
#include "registry/Registry.h"
#include "support/RegistrySandbox.h"
#include "support/TestFolder.h"

namespace {

using platform::Widen;

constexpr wchar_t kHkcuRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRegBackupKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
const std::string kName = "RwTest Обновление 更新";

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

std::string BytesOf(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::wstring WideText(const WideValue& value) {
  return std::wstring(reinterpret_cast<const wchar_t*>(value.bytes.data()),
                      value.bytes.size() / sizeof(wchar_t));
}

bool WideFileExists(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string WideFileBytes(const std::string& path) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "<missing>";
  std::string bytes(static_cast<std::size_t>(GetFileSize(file, nullptr)), '\0');
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes.substr(0, got);
}

const StartupEntry* Find(const StartupEntryList& entries, const std::string& name) {
  auto found = std::find_if(entries.begin(), entries.end(), [&](const StartupEntry& entry) {
    return entry.Name == name || EqualsIgnoringCase(entry.Location, name);
  });
  return found == entries.end() ? nullptr : &*found;
}

class UnicodeTest : public ::testing::Test {
 protected:
  UnicodeTest()
      : program_(folder_.File("Runwarden.exe")),
        pss_(folder_.File("pss")),
        utf8_folder_(folder_.path() + "\\Программы 程序") {
    sandbox_.Own(kHkcuRun);
    sandbox_.Own(kStartupRegBackupKey);
    sandbox_.Own(kStartupFolderBackupKey);
    // A program folder whose name no code page holds, made with the wide functions.
    CreateDirectoryW(Widen(utf8_folder_).c_str(), nullptr);
  }
  ~UnicodeTest() override {
    for (const std::string& path : planted_) {
      SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(Widen(path).c_str());
    }
  }

  RegistrySandbox sandbox_;
  TestFolder folder_;
  ProgramLocation program_;
  std::string pss_;
  std::string utf8_folder_;
  std::vector<std::string> planted_;  // outside the test's folder
};

}  // namespace

// Run values under names and with data no code page holds: Cyrillic and Chinese in three
// kinds of text value, a name with half a surrogate pair (which no UTF-8 can hold) and
// string data ending in half a UTF-16 unit (an odd number of bytes). A harmful program
// must not hide behind any: each is listed under its name, muted and restored byte for
// byte, and blocked with a backup under its own name.
TEST_F(UnicodeTest, RunValuesOutsideTheCodePageComeBackByteForByteAndAreBlockedWithABackup) {
  const std::string utf8_file = utf8_folder_ + "\\обновить.exe";
  ASSERT_TRUE(platform::WriteWholeFile(utf8_file, "MZ"));
  ASSERT_TRUE(WideFileExists(utf8_file)) << "written under another name";
  const std::string utf8_command = utf8_file + " /тихо 静默";
  const std::wstring command = Widen(utf8_command), name = Widen(kName);
  struct Value {
    std::wstring name;
    DWORD type;
    std::string bytes;
    std::string listed_name, listed_command;  // "": not compared
  };
  const std::vector<Value> values = {
      {name, REG_SZ, BytesOf(command + L'\0'), kName, utf8_command},
      {name + L" расширенный", REG_EXPAND_SZ, BytesOf(command + L'\0'), kName + " расширенный", ""},
      {name + L" многие", REG_MULTI_SZ, BytesOf(command + L'\0' + L"второй" + L'\0' + L'\0'),
       kName + " многие", ""},
      {std::wstring(L"RwTest lone ") + wchar_t(0xD800) + L" half", REG_SZ,
       BytesOf(std::wstring(L"C:\\x") + wchar_t(0xDC01) + L".exe" + L'\0'),
       "RwTest lone \xED\xA0\x80 half", "C:\\x\xED\xB0\x81.exe"},
      {L"RwTest odd", REG_SZ, BytesOf(L"C:\\odd.exe") + 'Z', "RwTest odd", "C:\\odd.exe"},
  };
  HKEY run = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kHkcuRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &run, nullptr),
            ERROR_SUCCESS);
  std::vector<WideValue> before;
  for (const Value& value : values) {
    // The bytes as they are: a string's data need not be whole UTF-16 units.
    EXPECT_EQ(RegSetValueExW(run, value.name.c_str(), 0, value.type,
                             reinterpret_cast<const BYTE*>(value.bytes.data()),
                             static_cast<DWORD>(value.bytes.size())),
              ERROR_SUCCESS);
    before.push_back(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, value.name));
    ASSERT_EQ(before.back().bytes.size(), value.bytes.size()) << value.listed_name;
  }
  RegCloseKey(run);

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
  const StartupEntry* entry = Find(entries, kName);
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(RemoveStartupEntry(*entry, utf8_file, pss_));
  EXPECT_FALSE(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, name).found);
  const std::wstring backup = std::wstring(kRegBackupKey) + L"\\" + name;
  EXPECT_EQ(WideText(ReadWide(HKEY_LOCAL_MACHINE, backup, L"command")), command + L'\0');
  EXPECT_EQ(WideText(ReadWide(HKEY_LOCAL_MACHINE, backup, L"item")),
            std::wstring(L"обновить.exe") + L'\0');
  EXPECT_EQ(folder_.Read("errlog.log"), "");
}

// The folders the shell names, and shortcuts the shell made, named outside the code page,
// of the same name in both folders, to a hidden system file in a folder no code page
// holds: collected after the registry, all users' before the user's, with their target;
// muted and restored byte for byte; moved aside when blocked, each with its own backup.
TEST_F(UnicodeTest, RealShortcutsInBothStartupFoldersAreCollectedMutedAndBlocked) {
  const std::string user = platform::SpecialFolderPath(platform::kFolderStartup);
  const std::string common = platform::SpecialFolderPath(platform::kFolderCommonStartup);
  for (const std::string& folder : {user, common})
    EXPECT_TRUE(LowerCase(folder).ends_with("\\start menu\\programs\\startup")) << folder;
  EXPECT_NE(LowerCase(user), LowerCase(common));
  EXPECT_EQ(platform::SpecialFolderPath(0x7FFF), "");
  platform::CreateFolder(common);
  const std::string target = utf8_folder_ + "\\托盘.exe";
  ASSERT_TRUE(platform::WriteWholeFile(target, "MZ"));
  const std::string links[] = {common + "\\" + kName + ".lnk", user + "\\" + kName + ".lnk"};
  for (const std::string& link : links) {
    ASSERT_TRUE(platform::CreateShortcut(planted_.emplace_back(link), target));
    ASSERT_TRUE(WideFileExists(link)) << "the shortcut is not where its name says";
  }
  ASSERT_TRUE(platform::WriteAttributes(target, platform::kAttrHidden | platform::kAttrSystem));
  const std::string shortcut_bytes = WideFileBytes(links[1]);
  WriteRegValue(kHkcuRun, "RwTest Run", "C:\\Prog\\upd.exe /quiet");

  StartupEntryList entries = CollectStartupEntries();
  const StartupEntry* run = Find(entries, kHkcuRun);
  const StartupEntry* first = Find(entries, links[0]);
  const StartupEntry* second = Find(entries, links[1]);
  ASSERT_TRUE(run && first && second);
  EXPECT_LT(run, first);
  EXPECT_LT(first, second);

  ASSERT_TRUE(MuteEntry(*second, pss_));
  EXPECT_FALSE(WideFileExists(links[1]));
  RestoreMutedEntries();
  EXPECT_EQ(WideFileBytes(links[1]), shortcut_bytes);

  std::vector<std::string> backups;
  for (const StartupEntry* entry : {first, second}) {
    EXPECT_EQ(entry->Name, kName);
    EXPECT_EQ(LowerCase(entry->Command), LowerCase(target));
    ASSERT_TRUE(RemoveStartupEntry(*entry, target, pss_));
    EXPECT_FALSE(WideFileExists(entry->Location));
    EXPECT_EQ(ReadRegValue(BackupKeyOf(*entry), "item", ""), kName);
    backups.push_back(ReadRegValue(BackupKeyOf(*entry), "backup", ""));
    EXPECT_EQ(LowerCase(platform::ShortcutTarget(backups.back())), LowerCase(target));
  }
  EXPECT_NE(backups[0], backups[1]);
  EXPECT_EQ(WideFileBytes(backups[1]), shortcut_bytes);
  EXPECT_EQ(folder_.Read("log.log"), "");
  platform::WriteAttributes(target, platform::kAttrNormal);
}

// A program installed in a folder no code page holds keeps its logs and its INI files
// there, in UTF-8; plain ASCII is what it always was.
TEST_F(UnicodeTest, LogsAndIniFilesAreWrittenInUtf8WhereverTheProgramIs) {
  ProgramLocation installed(utf8_folder_ + "\\Runwarden.exe");
  const std::string blocked = "Blocked File '" + utf8_folder_ + "\\обновить.exe'";
  LogEvent(blocked);
  std::string log = WideFileBytes(utf8_folder_ + "\\log.log");
  EXPECT_EQ(log.substr(log.find('\t') + 1), blocked);

  std::string ini = utf8_folder_ + "\\ver.ini";
  SetIniValue(ini, "Installed", "Запуск.exe", "1.4.0.9");
  SetIniValue(ini, "Installed", "Runwarden.exe", "1.4.0.9");
  EXPECT_EQ(WideFileBytes(ini), "[Installed]\r\nЗапуск.exe=1.4.0.9\r\nRunwarden.exe=1.4.0.9\r\n");
  EXPECT_EQ(GetIniValue(ini, "Installed", "Запуск.exe", ""), "1.4.0.9");
  EXPECT_EQ(GetIniValue(ini, "Installed", "runwarden.exe", ""), "1.4.0.9");
  DeleteFileW(Widen(utf8_folder_ + "\\log.log").c_str());
  DeleteFileW(Widen(ini).c_str());
}
