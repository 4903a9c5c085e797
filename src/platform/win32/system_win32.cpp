#include "platform/system.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "runwarden_version.h"
#include "platform/common/test_switches.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::string FormatWith(int (*format)(LCID, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int),
                       DWORD flags, const SYSTEMTIME& time) {
  wchar_t buffer[128];
  int length = format(LOCALE_USER_DEFAULT, flags, &time, nullptr, buffer, 128);
  return length > 0 ? Narrow(std::wstring_view(buffer, length - 1)) : std::string();
}

// The version as GetVersionEx reports it (the manifest names every Windows up to 11, so
// each reports its own); zeros when it cannot be read.
OSVERSIONINFOW SystemVersion() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info))
    return OSVERSIONINFOW{};
#pragma GCC diagnostic pop
  return info;
}

}  // namespace

std::string SystemErrorText(long error) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string message = length ? Narrow(std::wstring_view(text, length)) : std::string();
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

int MajorVersion() {
  if (test_switches::MajorVersion())
    return test_switches::MajorVersion();
  return static_cast<int>(SystemVersion().dwMajorVersion);
}

int MinorVersion() {
  if (test_switches::MinorVersion() >= 0)
    return test_switches::MinorVersion();
  return static_cast<int>(SystemVersion().dwMinorVersion);
}

std::string GetEnv(const std::string& name) {
  std::vector<wchar_t> buffer(32768);
  DWORD capacity = static_cast<DWORD>(buffer.size());
  DWORD length = GetEnvironmentVariableW(Widen(name).c_str(), buffer.data(), capacity);
  if (length == 0 || length >= capacity) return "";
  return Narrow(std::wstring_view(buffer.data(), length));
}

bool SetEnv(const std::string& name, const std::string& value) {
  return SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str()) != 0;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  wchar_t* block = GetEnvironmentStringsW();
  if (!block) return entries;
  for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
    // Entries starting with "=" are the per-drive current folders, not variables.
    if (*entry != L'=') entries.push_back(NarrowBuffer(entry));
  }
  FreeEnvironmentStringsW(block);
  return entries;
}

LocalTime Now() {
  if (test_switches::Now().year) return test_switches::Now();
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string FormatGeneralDate(const LocalTime& time) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(time.year);
  st.wMonth = static_cast<WORD>(time.month);
  st.wDay = static_cast<WORD>(time.day);
  st.wHour = static_cast<WORD>(time.hour);
  st.wMinute = static_cast<WORD>(time.minute);
  st.wSecond = static_cast<WORD>(time.second);
  std::string text = FormatWith(GetDateFormatW, DATE_SHORTDATE, st);
  if (time.hour || time.minute || time.second) {
    text += ' ';
    text += FormatWith(GetTimeFormatW, 0, st);
  }
  return text;
}

std::string ModulePath() {
  if (!test_switches::ModulePath().empty()) return test_switches::ModulePath();
  std::vector<wchar_t> buffer(32768);
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return Narrow(std::wstring_view(buffer.data(), length));
}

Version ProgramVersion() {
  Version version{RUNWARDEN_VERSION_MAJOR, RUNWARDEN_VERSION_MINOR, RUNWARDEN_VERSION_REVISION};
  // The version resource is what Explorer shows; read it so the two can never differ.
  constexpr WORD kVersionResourceType = 16;  // RT_VERSION
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO),
                                 MAKEINTRESOURCEW(kVersionResourceType));
  if (!resource) return version;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return version;
  // VS_VERSIONINFO: a header, the key L"VS_VERSION_INFO", padding, then VS_FIXEDFILEINFO.
  const BYTE* bytes = static_cast<const BYTE*>(data);
  DWORD size = SizeofResource(nullptr, resource);
  for (DWORD offset = 0; offset + sizeof(VS_FIXEDFILEINFO) <= size; offset += 4) {
    const auto* info = reinterpret_cast<const VS_FIXEDFILEINFO*>(bytes + offset);
    if (info->dwSignature == 0xFEEF04BD) {
      version.major = HIWORD(info->dwFileVersionMS);
      version.minor = LOWORD(info->dwFileVersionMS);
      version.revision = LOWORD(info->dwFileVersionLS);
      break;
    }
  }
  return version;
}

void EndProcessNow(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }

}  // namespace platform
