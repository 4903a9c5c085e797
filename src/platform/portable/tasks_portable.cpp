#include "platform/tasks.h"

#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

// The portable store reads its definitions itself, as little as the guard needs: the
// inner text of every element Tag (empty for <Tag/>), not nested in one of its kind.
std::vector<std::string> Elements(const std::string& xml, const std::string& tag) {
  std::regex element("<" + tag + "(?:\\s[^>]*)?(?:/>|>([\\s\\S]*?)</" + tag + ">)");
  std::vector<std::string> found;
  for (std::sregex_iterator it(xml.begin(), xml.end(), element), end; it != end; ++it)
    found.push_back((*it)[1].str());
  return found;
}

std::string Element(const std::string& xml, const std::string& tag) {
  std::vector<std::string> found = Elements(xml, tag);
  return found.empty() ? "" : found.front();
}

std::string Unescaped(const std::string& text) {
  static const std::pair<const char*, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
  std::string plain;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, c] : kEntities) {
      if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
        plain += c;
        i += std::char_traits<char>::length(entity);
        replaced = true;
        break;
      }
    }
    if (!replaced)
      plain += text[i++];
  }
  return plain;
}

// An element's <Enabled> is true unless it says false.
bool EnabledIn(const std::string& element) {
  return Element(element, "Enabled") != "false";
}

ScheduledTask Parsed(const std::string& path, const std::string& xml) {
  ScheduledTask task;
  task.path = path;
  task.enabled = EnabledIn(Element(xml, "Settings"));
  std::string triggers = Element(xml, "Triggers");
  for (const char* kind : {"LogonTrigger", "BootTrigger"})
    for (const std::string& trigger : Elements(triggers, kind))
      task.starts_at_logon_or_boot = task.starts_at_logon_or_boot || EnabledIn(trigger);
  for (const std::string& exec : Elements(Element(xml, "Actions"), "Exec"))
    task.execs.push_back(
        {Unescaped(Element(exec, "Command")), Unescaped(Element(exec, "Arguments"))});
  return task;
}

// The definition with Settings\Enabled set, as the service writes it back.
std::string WithEnabled(const std::string& xml, bool enabled) {
  std::string value = std::string("<Enabled>") + (enabled ? "true" : "false") + "</Enabled>";
  std::smatch settings;
  if (!std::regex_search(xml, settings, std::regex("<Settings>([\\s\\S]*?)</Settings>")))
    return std::regex_replace(xml, std::regex("</Task>"),
                              "<Settings>" + value + "</Settings></Task>");
  std::string inner = settings[1].str();
  static const std::regex own("<Enabled>[^<]*</Enabled>");
  inner = std::regex_search(inner, own)
              ? std::regex_replace(inner, own, value, std::regex_constants::format_first_only)
              : value + inner;
  return settings.prefix().str() + "<Settings>" + inner + "</Settings>" + settings.suffix().str();
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

std::vector<ScheduledTask> ListScheduledTasks() {
  std::vector<ScheduledTask> tasks;
  if (!TaskSchedulerAvailable())
    return tasks;
  for (const auto& [path, xml] : Store().tasks)
    tasks.push_back(Parsed(path, xml));
  return tasks;
}

long EnableTask(const std::string& path, bool enabled) {
  if (long refused = Refusal())
    return refused;
  auto task = Store().tasks.find(path);
  if (task == Store().tasks.end())
    return kTaskErrorNotFound;
  // Wine's service takes the change and keeps nothing of it.
  if (Store().service != TaskServiceForTesting::kLikeWine)
    task->second = WithEnabled(task->second, enabled);
  return 0;
}

bool ReadTaskEnabled(const std::string& path, bool* enabled) {
  std::string xml;
  if (!ReadTaskXml(path, &xml))
    return false;
  *enabled = Parsed(path, xml).enabled;
  return true;
}

long RestoreTask(const std::string& path, const std::string& xml) {
  if (long refused = Refusal())
    return refused;
  if (Store().tasks.count(path))
    return kTaskErrorExists;
  return RegisterTask(path, xml);
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
