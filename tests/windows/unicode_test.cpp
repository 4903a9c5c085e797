// Names and data outside every code page, against Wine's real registry and files. The
// values are written and read back here with the wide functions directly, so what the
// program does is compared with what Windows really holds.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/basLog.h"
#include "app/modINI.h"
#include "guard/Blocking.h"
#include "guard/RuleLists.h"
#include "guard/basGuard.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "registry/basReg.h"
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

void WriteWide(HKEY root,
               const std::wstring& sub_key,
               const std::wstring& name,
               DWORD type,
               const std::wstring& data) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(root, sub_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
  RegCloseKey(key);
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

// Three kinds of text value under a name in Cyrillic and Chinese: listed as they are,
// muted, and restored byte for byte.
TEST_F(UnicodeTest, RunValuesNamedOutsideTheCodePageComeBackByteForByte) {
  const std::wstring command = wide_folder_ + L"\\обновить.exe /тихо 静默";
  const std::vector<std::pair<std::wstring, DWORD>> values = {
      {kName.wide, REG_SZ},
      {kName.wide + L" расширенный", REG_EXPAND_SZ},
      {kName.wide + L" многие", REG_MULTI_SZ},
  };
  for (const auto& [name, type] : values)
    WriteWide(HKEY_CURRENT_USER, kHkcuRunKey, name, type,
              type == REG_MULTI_SZ ? command + L'\0' + L"второй" + L'\0' + L'\0' : command + L'\0');
  std::vector<WideValue> before;
  for (const auto& [name, type] : values)
    before.push_back(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, name));

  StartupEntryList entries = ListRegistryValues(kHkcuRun);
  const StartupEntry* plain = Find(entries, kName.utf8);
  ASSERT_NE(plain, nullptr) << "the value is not listed under its own name";
  EXPECT_EQ(plain->Command, utf8_folder_ + "\\обновить.exe /тихо 静默");

  for (const StartupEntry& entry : entries)
    EXPECT_TRUE(MuteEntry(entry, pss_)) << entry.Name;
  for (const auto& [name, type] : values)
    EXPECT_FALSE(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, name).found);
  RestoreMutedEntries();
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, values[i].first), before[i]) << i;
  EXPECT_EQ(folder_.Read("errlog.log"), "");
}

TEST_F(UnicodeTest, ARunValueNamedOutsideTheCodePageIsBlockedWithItsBackup) {
  const std::wstring file = wide_folder_ + L"\\обновить.exe";
  HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  CloseHandle(created);
  WriteWide(HKEY_CURRENT_USER, kHkcuRunKey, kName.wide, REG_SZ, file + L" /тихо" + L'\0');

  StartupEntryList entries = ListRegistryValues(kHkcuRun);
  const StartupEntry* entry = Find(entries, kName.utf8);
  ASSERT_NE(entry, nullptr);
  std::string utf8_file = utf8_folder_ + "\\обновить.exe";
  EXPECT_TRUE(platform::FileSize(utf8_file) >= 0) << "the program cannot see the file";
  ASSERT_TRUE(RemoveStartupEntry(*entry, utf8_file, pss_));
  EXPECT_FALSE(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, kName.wide).found);
  const std::wstring backup = std::wstring(kRegBackupKey) + L"\\" + kName.wide;
  EXPECT_EQ(WideText(ReadWide(HKEY_LOCAL_MACHINE, backup, L"command")), file + L" /тихо" + L'\0');
  EXPECT_EQ(WideText(ReadWide(HKEY_LOCAL_MACHINE, backup, L"item")),
            std::wstring(L"обновить.exe") + L'\0');
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

  StartupEntryList later = CollectStartupEntries();
  const StartupEntry* again = Find(later, kName.utf8);
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(RemoveStartupEntry(*again, target, pss_));
  EXPECT_FALSE(WideFileExists(link));
  std::wstring moved = WideOf(pss_) + L"\\" + kName.wide + L".lnk";
  EXPECT_EQ(WideFileBytes(moved), shortcut_bytes);
  std::string key = BackupKeyOf(*again);
  EXPECT_EQ(ReadRegValue(key, "path", ""), utf8_link);
  EXPECT_EQ(ReadRegValue(key, "item", ""), kName.utf8);
  EXPECT_EQ(ReadRegValue(key, "command", ""), target);
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

// Windows lets a name hold half of a surrogate pair, which no UTF-8 can, and string data
// end in half a UTF-16 unit (an odd number of bytes): a harmful program must not hide
// behind either. The program carries both and hands them back exactly.
TEST_F(UnicodeTest, HalfCharactersInANameOrDataAreMutedAndRestoredExactly) {
  const std::wstring name = std::wstring(L"RwTest lone ") + wchar_t(0xD800) + L" half";
  const std::wstring command = std::wstring(L"C:\\x") + wchar_t(0xDC01) + L".exe" + L'\0';
  WriteWide(HKEY_CURRENT_USER, kHkcuRunKey, name, REG_SZ, command);
  const std::wstring odd_name = L"RwTest odd";
  const std::wstring odd_text = L"C:\\odd.exe";
  std::string odd_bytes(reinterpret_cast<const char*>(odd_text.data()),
                        odd_text.size() * sizeof(wchar_t));
  odd_bytes += 'Z';
  HKEY run = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kHkcuRunKey, 0, KEY_SET_VALUE, &run), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(run, odd_name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(odd_bytes.data()),
                           static_cast<DWORD>(odd_bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(run);
  const WideValue before = ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, name);
  const WideValue odd_before = ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, odd_name);
  ASSERT_TRUE(before.found);
  ASSERT_EQ(odd_before.bytes.size(), odd_bytes.size());

  StartupEntryList entries = ListRegistryValues(kHkcuRun);
  const StartupEntry* entry = Find(entries, "RwTest lone \xED\xA0\x80 half");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Command, "C:\\x\xED\xB0\x81.exe");
  const StartupEntry* odd = Find(entries, "RwTest odd");
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->Command, "C:\\odd.exe");
  ASSERT_TRUE(MuteEntry(*entry, pss_));
  ASSERT_TRUE(MuteEntry(*odd, pss_));
  EXPECT_FALSE(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, name).found);
  EXPECT_FALSE(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, odd_name).found);
  RestoreMutedEntries();
  EXPECT_EQ(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, name), before);
  EXPECT_EQ(ReadWide(HKEY_CURRENT_USER, kHkcuRunKey, odd_name), odd_before);
}
