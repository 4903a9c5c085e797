#include "platform/shell.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <map>

#include "platform/common/test_switches.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// COM for the duration of one call; released only when this call started it.
class ComScope {
 public:
  ComScope() : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (started_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool started_;
};

template <class T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

}  // namespace

std::string SpecialFolderPath(int folder_number) {
  auto found = test_switches::SpecialFolders().find(folder_number);
  if (found != test_switches::SpecialFolders().end()) return found->second;
  // Through the folder's item list, the way the shell names virtual and real folders.
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder_number, &list)) || !list) return "";
  wchar_t buffer[MAX_PATH] = {};
  BOOL ok = SHGetPathFromIDListW(list, buffer);
  CoTaskMemFree(list);
  return ok ? NarrowBuffer(buffer) : std::string();
}

bool ListFolderItems(const std::string& folder, std::vector<ShellItem>* items) {
  items->clear();
  DWORD attributes = GetFileAttributesW(Widen(folder).c_str());
  if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  ComScope com;
  std::string base = folder.back() == '\\' ? folder : folder + "\\";
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(Widen(base + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return true;  // an empty folder
  do {
    std::string name = NarrowBuffer(data.cFileName);
    if (name == "." || name == "..") continue;
    // Hidden and system at once is the shell's own (desktop.ini): never an item. Hidden
    // alone is one Folder Options setting away from being shown, and from running.
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM))
      continue;
    ShellItem item;
    item.path = base + name;
    // The shell's own answer: its display name and the file-system, folder and link flags.
    SHFILEINFOW info{};
    info.dwAttributes = SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_LINK;
    if (SHGetFileInfoW(Widen(item.path).c_str(), 0, &info, sizeof info,
                       SHGFI_DISPLAYNAME | SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED)) {
      item.display_name = NarrowBuffer(info.szDisplayName);
      item.file_system = info.dwAttributes & SFGAO_FILESYSTEM;
      item.folder = info.dwAttributes & SFGAO_FOLDER;
      item.link = info.dwAttributes & SFGAO_LINK;
    } else {
      item.display_name = name;
      item.file_system = true;
      item.folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    }
    // Zip files and the like are folders to the shell, files on disk: a file is a file.
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) item.folder = false;
    items->push_back(item);
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return true;
}

std::string ShortcutTarget(const std::string& link_path) {
  ComScope com;
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  std::string target;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(Widen(link_path).c_str(), STGM_READ))) {
    wchar_t buffer[MAX_PATH * 2] = {};
    WIN32_FIND_DATAW data;
    if (SUCCEEDED(link->GetPath(buffer, MAX_PATH * 2, &data, SLGP_UNCPRIORITY)))
      target = NarrowBuffer(buffer);
    // A shortcut keeps its target's path in the ANSI code page too, and some shells hand
    // that back: "?" (which no Windows path holds) stands where a name did not fit. The
    // item list keeps the names whole.
    if (target.empty() || target.find('?') != std::string::npos) {
      LPITEMIDLIST list = nullptr;
      if (SUCCEEDED(link->GetIDList(&list)) && list) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(list, path)) target = NarrowBuffer(path);
        CoTaskMemFree(list);
      }
    }
  }
  Release(file);
  Release(link);
  return target;
}

bool CreateShortcut(const std::string& link_path, const std::string& target) {
  ComScope com;
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkW, reinterpret_cast<void**>(&link))) &&
            SUCCEEDED(link->SetPath(Widen(target).c_str())) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Save(Widen(link_path).c_str(), TRUE));
  Release(file);
  Release(link);
  return ok;
}

}  // namespace platform
