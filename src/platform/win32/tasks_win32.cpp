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
  // The pointer handed over with its reference, which the caller then holds.
  T* Detach() {
    T* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }
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

// The first steps of every change to the tasks: the service, and its root folder.
HRESULT ConnectToRoot(Com<ITaskService>& service, Com<ITaskFolder>& root) {
  HRESULT result = Connect(service);
  return FAILED(result) ? result : OpenFolder(service.operator->(), "\\", root.out());
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
  Com<ITaskFolder> root;
  HRESULT result = ConnectToRoot(service, root);
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
  Com<ITaskFolder> root;
  HRESULT result = ConnectToRoot(service, root);
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

namespace {

std::string TextOf(const Bstr& text) {
  return static_cast<BSTR>(text) ? NarrowBuffer(text) : std::string();
}

// An enabled logon or boot trigger among the definition's.
bool StartsAtLogonOrBoot(ITaskDefinition* definition) {
  Com<ITriggerCollection> triggers;
  LONG count = 0;
  if (FAILED(definition->get_Triggers(triggers.out())) || !triggers ||
      FAILED(triggers->get_Count(&count)))
    return false;
  for (LONG i = 1; i <= count; ++i) {  // the collection counts from 1
    Com<ITrigger> trigger;
    TASK_TRIGGER_TYPE2 type;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    if (FAILED(triggers->get_Item(i, trigger.out())) || !trigger ||
        FAILED(trigger->get_Type(&type)))
      continue;
    trigger->get_Enabled(&enabled);
    if ((type == TASK_TRIGGER_LOGON || type == TASK_TRIGGER_BOOT) && enabled != VARIANT_FALSE)
      return true;
  }
  return false;
}

std::vector<TaskExec> ExecActions(ITaskDefinition* definition) {
  std::vector<TaskExec> execs;
  Com<IActionCollection> actions;
  LONG count = 0;
  if (FAILED(definition->get_Actions(actions.out())) || !actions ||
      FAILED(actions->get_Count(&count)))
    return execs;
  for (LONG i = 1; i <= count; ++i) {
    Com<IAction> action;
    TASK_ACTION_TYPE type;
    if (FAILED(actions->get_Item(i, action.out())) || !action || FAILED(action->get_Type(&type)) ||
        type != TASK_ACTION_EXEC)
      continue;
    Com<IExecAction> exec;
    if (FAILED(action->QueryInterface(IID_IExecAction, reinterpret_cast<void**>(exec.out()))))
      continue;
    Bstr path, arguments;
    exec->get_Path(path.out());
    exec->get_Arguments(arguments.out());
    execs.push_back({TextOf(path), TextOf(arguments)});
  }
  return execs;
}

// E_NOTIMPL when the service cannot list the folder's tasks (Wine's cannot count them).
HRESULT ListFolder(ITaskFolder* folder, std::vector<ScheduledTask>* tasks, int depth) {
  Com<IRegisteredTaskCollection> registered;
  LONG count = 0;
  HRESULT listed_tasks = folder->GetTasks(TASK_ENUM_HIDDEN, registered.out());
  if (SUCCEEDED(listed_tasks) && registered)
    listed_tasks = registered->get_Count(&count);
  if (SUCCEEDED(listed_tasks)) {
    for (LONG i = 1; i <= count; ++i) {
      VARIANT index;
      VariantInit(&index);
      index.vt = VT_I4;
      index.lVal = i;
      Com<IRegisteredTask> task;
      if (FAILED(registered->get_Item(index, task.out())) || !task)
        continue;
      ScheduledTask listed;
      Bstr path;
      VARIANT_BOOL enabled = VARIANT_FALSE;
      task->get_Path(path.out());
      task->get_Enabled(&enabled);
      listed.path = TextOf(path);
      listed.enabled = enabled != VARIANT_FALSE;
      Com<ITaskDefinition> definition;
      if (SUCCEEDED(task->get_Definition(definition.out())) && definition) {
        listed.starts_at_logon_or_boot = StartsAtLogonOrBoot(definition.operator->());
        listed.execs = ExecActions(definition.operator->());
      }
      if (!listed.path.empty())
        tasks->push_back(std::move(listed));
    }
  }
  // The service's folders are a tree of a few levels; a cycle would be its fault.
  if (depth > 32)
    return listed_tasks;
  Com<ITaskFolderCollection> folders;
  if (FAILED(folder->GetFolders(0, folders.out())) || !folders ||
      FAILED(folders->get_Count(&count)))
    return listed_tasks;
  for (LONG i = 1; i <= count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = i;
    Com<ITaskFolder> subfolder;
    if (SUCCEEDED(folders->get_Item(index, subfolder.out())) && subfolder)
      ListFolder(subfolder.operator->(), tasks, depth + 1);
  }
  return listed_tasks;
}

HRESULT OpenTask(ITaskService* service, const std::string& path, IRegisteredTask** task) {
  std::string folder_path, name;
  SplitTaskPath(path, &folder_path, &name);
  Com<ITaskFolder> folder;
  HRESULT result = OpenFolder(service, folder_path, folder.out());
  if (FAILED(result))
    return result;
  Bstr wide_name(name);
  return folder->GetTask(wide_name, task);
}

long NotFoundAsSuch(long status) {
  return status == ERROR_PATH_NOT_FOUND ? kTaskErrorNotFound : status;
}

bool IsServiceAccount(const std::string& user) {
  for (const char* account :
       {"S-1-5-18", "S-1-5-19", "S-1-5-20", "SYSTEM", "LOCAL SERVICE", "NETWORK SERVICE",
        "NT AUTHORITY\\SYSTEM", "NT AUTHORITY\\LOCAL SERVICE", "NT AUTHORITY\\NETWORK SERVICE"})
    if (CompareStringOrdinal(Widen(user).c_str(), -1, Widen(account).c_str(), -1, TRUE) ==
        CSTR_EQUAL)
      return true;
  return false;
}

}  // namespace

namespace {

// The scan lists the tasks at every pass. Starting COM and binding to the service again
// each time cost more than all the rest of a pass, so the thread keeps both for its
// later passes (its COM and the reference live as long as the thread). A service that
// answered that it cannot list tasks (Wine's) is not asked again.
struct KeptConnection {
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ITaskService* service = nullptr;
  bool cannot_list = false;
};

KeptConnection& Kept() {
  thread_local KeptConnection kept;
  return kept;
}

ITaskService* KeptService(bool connect_again) {
  KeptConnection& kept = Kept();
  if (g_service == TaskServiceForTesting::kUnavailable)
    return nullptr;
  if (kept.service && connect_again) {
    kept.service->Release();
    kept.service = nullptr;
  }
  if (!kept.service) {
    Com<ITaskService> service;
    if (FAILED(Connect(service)))
      return nullptr;
    kept.service = service.Detach();
  }
  return kept.service;
}

}  // namespace

std::vector<ScheduledTask> ListScheduledTasks() {
  std::vector<ScheduledTask> tasks;
  if (Kept().cannot_list)
    return tasks;
  Com<ITaskFolder> root;
  ITaskService* service = KeptService(false);
  // A service restarted since the last pass has dropped the connection: bind once more.
  if (service && FAILED(OpenFolder(service, "\\", root.out()))) {
    service = KeptService(true);
    if (service && FAILED(OpenFolder(service, "\\", root.out())))
      return tasks;
  }
  if (!service)
    return tasks;
  if (ListFolder(root.operator->(), &tasks, 0) == E_NOTIMPL)
    Kept().cannot_list = true;
  return tasks;
}

long EnableTask(const std::string& path, bool enabled) {
  if (g_service == TaskServiceForTesting::kRefusing)
    return kTaskErrorAccessDenied;
  ComScope com;
  Com<ITaskService> service;
  HRESULT result = Connect(service);
  if (FAILED(result))
    return StatusOf(result);
  Com<IRegisteredTask> task;
  result = OpenTask(service.operator->(), path, task.out());
  if (FAILED(result))
    return NotFoundAsSuch(StatusOf(result));
  return StatusOf(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE));
}

bool ReadTaskEnabled(const std::string& path, bool* enabled) {
  ComScope com;
  Com<ITaskService> service;
  if (FAILED(Connect(service)))
    return false;
  Com<IRegisteredTask> task;
  VARIANT_BOOL value = VARIANT_FALSE;
  if (FAILED(OpenTask(service.operator->(), path, task.out())) || FAILED(task->get_Enabled(&value)))
    return false;
  *enabled = value != VARIANT_FALSE;
  return true;
}

long RestoreTask(const std::string& path, const std::string& xml) {
  if (g_service == TaskServiceForTesting::kRefusing)
    return kTaskErrorAccessDenied;
  ComScope com;
  Com<ITaskService> service;
  Com<ITaskFolder> root;
  HRESULT result = ConnectToRoot(service, root);
  if (FAILED(result))
    return StatusOf(result);
  Com<ITaskDefinition> definition;
  result = service->NewTask(0, definition.out());
  if (FAILED(result))
    return StatusOf(result);
  Bstr wide_xml(xml);
  result = definition->put_XmlText(wide_xml);
  if (FAILED(result))
    return StatusOf(result);
  // The logon the principal had. Its account comes from the definition itself.
  TASK_LOGON_TYPE logon = TASK_LOGON_NONE;
  Com<IPrincipal> principal;
  Bstr group, user;
  if (SUCCEEDED(definition->get_Principal(principal.out())) && principal) {
    principal->get_LogonType(&logon);
    principal->get_GroupId(group.out());
    principal->get_UserId(user.out());
  }
  if (logon == TASK_LOGON_PASSWORD || logon == TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD) {
    // No password to give: the user's task runs while the user is logged on, as a logon
    // task does anyway.
    logon = TASK_LOGON_INTERACTIVE_TOKEN;
    principal->put_LogonType(logon);
  } else if (logon == TASK_LOGON_NONE) {
    logon = !TextOf(group).empty()           ? TASK_LOGON_GROUP
            : IsServiceAccount(TextOf(user)) ? TASK_LOGON_SERVICE_ACCOUNT
                                             : TASK_LOGON_INTERACTIVE_TOKEN;
  }
  VARIANT none;
  VariantInit(&none);
  Bstr wide_path(path);
  Com<IRegisteredTask> task;
  return StatusOf(root->RegisterTaskDefinition(wide_path, definition.operator->(), TASK_CREATE,
                                               none, none, logon, none, task.out()));
}

void SetTaskServiceForTesting(TaskServiceForTesting service) {
  g_service = service;
}

void ResetTasksForTesting() {}

}  // namespace platform
