#include "platform/tasks.h"

#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

TaskServiceForTesting g_service = TaskServiceForTesting::kReal;

// Windows errors come back wrapped in an HRESULT of the Win32 facility: the caller
// gets the plain error number (access denied is 5 either way).
long StatusOf(HRESULT result) {
  if (SUCCEEDED(result))
    return 0;
  if (HRESULT_FACILITY(result) == FACILITY_WIN32)
    return HRESULT_CODE(result);
  return static_cast<long>(result);
}

template <class T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (pointer_)
      pointer_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** out() { return &pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  T* pointer_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const std::string& text) : value_(SysAllocString(Widen(text).c_str())) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return value_; }
  BSTR* out() { return &value_; }

 private:
  BSTR value_ = nullptr;
};

// COM for the length of one call; a thread that has it already keeps it.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_))
      CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

// The folder part of a task path ("\Runwarden" of "\Runwarden\Guard"; "\" at the root)
// and the task's name.
void SplitTaskPath(const std::string& path, std::string* folder, std::string* name) {
  std::string::size_type cut = path.find_last_of('\\');
  // One character assigned, not a literal copied: g++ 12 warns of an overlap that
  // cannot happen in the literal's copy (-Wrestrict).
  if (cut == std::string::npos) {
    folder->assign(1, '\\');
    *name = path;
    return;
  }
  *folder = cut == 0 ? std::string(1, '\\') : path.substr(0, cut);
  *name = path.substr(cut + 1);
}

HRESULT Connect(Com<ITaskService>& service) {
  if (g_service == TaskServiceForTesting::kUnavailable)
    return HRESULT_FROM_WIN32(ERROR_SERVICE_DISABLED);
  HRESULT result = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ITaskService, reinterpret_cast<void**>(service.out()));
  if (FAILED(result))
    return result;
  VARIANT none;
  VariantInit(&none);
  return service->Connect(none, none, none, none);
}

HRESULT OpenFolder(ITaskService* service, const std::string& path, ITaskFolder** folder) {
  Bstr wide(path);
  return service->GetFolder(wide, folder);
}

}  // namespace

bool TaskSchedulerAvailable() {
  ComScope com;
  Com<ITaskService> service;
  return SUCCEEDED(Connect(service));
}

long RegisterTask(const std::string& path, const std::string& xml) {
  if (g_service == TaskServiceForTesting::kRefusing)
    return kTaskErrorAccessDenied;
  ComScope com;
  Com<ITaskService> service;
  HRESULT result = Connect(service);
  if (FAILED(result))
    return StatusOf(result);
  Com<ITaskFolder> root;
  result = OpenFolder(service.operator->(), "\\", root.out());
  if (FAILED(result))
    return StatusOf(result);
  VARIANT none;
  VariantInit(&none);
  Bstr wide_path(path), wide_xml(xml);
  Com<IRegisteredTask> task;
  // The principal (a group) comes from the definition itself.
  result = root->RegisterTask(wide_path, wide_xml, TASK_CREATE_OR_UPDATE, none, none,
                              TASK_LOGON_GROUP, none, task.out());
  return StatusOf(result);
}

long DeleteTask(const std::string& path) {
  if (g_service == TaskServiceForTesting::kRefusing)
    return kTaskErrorAccessDenied;
  ComScope com;
  Com<ITaskService> service;
  HRESULT result = Connect(service);
  if (FAILED(result))
    return StatusOf(result);
  std::string folder_path, name;
  SplitTaskPath(path, &folder_path, &name);
  Com<ITaskFolder> folder;
  result = OpenFolder(service.operator->(), folder_path, folder.out());
  if (FAILED(result))
    return StatusOf(result) == ERROR_PATH_NOT_FOUND ? kTaskErrorNotFound : StatusOf(result);
  Bstr wide_name(name);
  long status = StatusOf(folder->DeleteTask(wide_name, 0));
  return status == ERROR_PATH_NOT_FOUND ? kTaskErrorNotFound : status;
}

long DeleteTaskFolder(const std::string& path) {
  if (g_service == TaskServiceForTesting::kRefusing)
    return kTaskErrorAccessDenied;
  ComScope com;
  Com<ITaskService> service;
  HRESULT result = Connect(service);
  if (FAILED(result))
    return StatusOf(result);
  Com<ITaskFolder> root;
  result = OpenFolder(service.operator->(), "\\", root.out());
  if (FAILED(result))
    return StatusOf(result);
  // Only an empty folder: look first where the service can list one (Wine's cannot; its
  // folders are directories, which are not removed while they hold anything).
  Com<ITaskFolder> folder;
  result = OpenFolder(service.operator->(), path, folder.out());
  if (FAILED(result))
    return StatusOf(result) == ERROR_PATH_NOT_FOUND ? kTaskErrorNotFound : StatusOf(result);
  Com<IRegisteredTaskCollection> tasks;
  Com<ITaskFolderCollection> folders;
  LONG task_count = 0, folder_count = 0;
  if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.out())) && tasks &&
      SUCCEEDED(tasks->get_Count(&task_count)) && task_count > 0)
    return ERROR_DIR_NOT_EMPTY;
  if (SUCCEEDED(folder->GetFolders(0, folders.out())) && folders &&
      SUCCEEDED(folders->get_Count(&folder_count)) && folder_count > 0)
    return ERROR_DIR_NOT_EMPTY;
  Bstr wide_path(path);
  return StatusOf(root->DeleteFolder(wide_path, 0));
}

bool TaskExists(const std::string& path) {
  std::string xml;
  return ReadTaskXml(path, &xml);
}

bool ReadTaskXml(const std::string& path, std::string* xml) {
  ComScope com;
  Com<ITaskService> service;
  if (FAILED(Connect(service)))
    return false;
  std::string folder_path, name;
  SplitTaskPath(path, &folder_path, &name);
  Com<ITaskFolder> folder;
  if (FAILED(OpenFolder(service.operator->(), folder_path, folder.out())))
    return false;
  Bstr wide_name(name);
  Com<IRegisteredTask> task;
  if (FAILED(folder->GetTask(wide_name, task.out())))
    return false;
  Bstr text;
  if (FAILED(task->get_Xml(text.out())) || !static_cast<BSTR>(text))
    return false;
  *xml = NarrowBuffer(text);
  return true;
}

void SetTaskServiceForTesting(TaskServiceForTesting service) {
  g_service = service;
}

void ResetTasksForTesting() {}

}  // namespace platform
