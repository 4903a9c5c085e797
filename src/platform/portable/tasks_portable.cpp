#include "platform/tasks.h"

#include <map>
#include <regex>
#include <set>

namespace platform {
namespace {

struct TaskStore {
  TaskServiceForTesting service = TaskServiceForTesting::kReal;
  std::map<std::string, std::string> tasks;  // path -> definition
  std::set<std::string> folders;             // made by registering a task in them
};

TaskStore& Store() {
  static TaskStore store;
  return store;
}

std::string FolderOf(const std::string& path) {
  std::string::size_type cut = path.find_last_of('\\');
  return cut == std::string::npos || cut == 0 ? "\\" : path.substr(0, cut);
}

// What Wine's service keeps of a definition: the rest, with empty triggers and actions.
std::string WithoutTriggersAndActions(const std::string& xml) {
  static const std::regex triggers("<Triggers>[\\s\\S]*?</Triggers>");
  static const std::regex actions("<Actions[^>]*>[\\s\\S]*?</Actions>");
  return std::regex_replace(std::regex_replace(xml, triggers, "<Triggers/>"), actions,
                            "<Actions>\n    <Exec/>\n  </Actions>");
}

long Refusal() {
  switch (Store().service) {
    case TaskServiceForTesting::kUnavailable:
      return kTaskErrorServiceUnavailable;
    case TaskServiceForTesting::kRefusing:
      return kTaskErrorAccessDenied;
    default:
      return 0;
  }
}

}  // namespace

bool TaskSchedulerAvailable() {
  return Store().service != TaskServiceForTesting::kUnavailable;
}

long RegisterTask(const std::string& path, const std::string& xml) {
  if (long refused = Refusal())
    return refused;
  if (path.size() < 2 || path[0] != '\\' || path.back() == '\\')
    return 87;  // ERROR_INVALID_PARAMETER
  for (std::string folder = FolderOf(path); folder != "\\"; folder = FolderOf(folder))
    Store().folders.insert(folder);
  Store().tasks[path] =
      Store().service == TaskServiceForTesting::kLikeWine ? WithoutTriggersAndActions(xml) : xml;
  return 0;
}

long DeleteTask(const std::string& path) {
  if (long refused = Refusal())
    return refused;
  return Store().tasks.erase(path) ? 0 : kTaskErrorNotFound;
}

long DeleteTaskFolder(const std::string& path) {
  if (long refused = Refusal())
    return refused;
  if (!Store().folders.count(path))
    return kTaskErrorNotFound;
  for (const auto& [task, xml] : Store().tasks)
    if (FolderOf(task) == path)
      return 145;  // ERROR_DIR_NOT_EMPTY
  for (const std::string& folder : Store().folders)
    if (FolderOf(folder) == path)
      return 145;
  Store().folders.erase(path);
  return 0;
}

bool TaskExists(const std::string& path) {
  std::string xml;
  return ReadTaskXml(path, &xml);
}

bool ReadTaskXml(const std::string& path, std::string* xml) {
  if (!TaskSchedulerAvailable())
    return false;
  auto task = Store().tasks.find(path);
  if (task == Store().tasks.end())
    return false;
  *xml = task->second;
  return true;
}

void SetTaskServiceForTesting(TaskServiceForTesting service) {
  Store().service = service;
}

void ResetTasksForTesting() {
  Store().tasks.clear();
  Store().folders.clear();
  Store().service = TaskServiceForTesting::kReal;
}

}  // namespace platform
