#include "guard/ListKey.h"

#include <vector>

#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "guard/Md2.h"
#include "guard/CommandResolution.h"
#include "guard/HashCache.h"
#include "guard/Scan.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

constexpr const char* kHosts[] = {"cmd",     "powershell", "pwsh",     "wscript",
                                  "cscript", "mshta",      "regsvr32", "rundll32"};

// One word of a command line, without its quotes, and where it ends in the line.
struct Word {
  std::string text;
  std::size_t end = 0;
};

// Words split at blanks outside double quotes, the way the hosts read their arguments.
std::vector<Word> SplitWords(const std::string& line) {
  std::vector<Word> words;
  Word word;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) {
        word.end = i;
        words.push_back(word);
      }
      word = Word();
      any = false;
    } else {
      word.text += c;
      any = true;
    }
  }
  if (any) {
    word.end = line.size();
    words.push_back(word);
  }
  return words;
}

std::string HostName(const std::string& path) {
  std::string name = LowerCase(GetFileName(path));
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
    name.resize(name.size() - 4);
  for (const char* host : kHosts)
    if (name == host)
      return name;
  return "";
}

bool IsInside(const std::string& path, const std::string& folder) {
  if (folder.empty())
    return false;
  std::string prefix = LowerCase(platform::LongPathName(folder));
  if (prefix.back() != '\\')
    prefix += '\\';
  return LowerCase(path).rfind(prefix, 0) == 0;
}

// Where a standard user cannot put a program: the system's own hosts live there.
bool InSystemFolders(const std::string& file) {
  std::string path = platform::LongPathName(file);
  for (const char* variable : {"windir", "ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"})
    if (IsInside(path, platform::GetEnv(variable)))
      return true;
  return false;
}

bool CommandNamesRundll32(const std::string& command) {
  std::string lower = LowerCase(command);
  return lower.find("rundll32 ") != std::string::npos ||
         lower.find("rundll32.exe ") != std::string::npos;
}

// The words after the host's own in Command. The host is the first word named like it
// (an unquoted "C:\Program Files\..." is more than one word), else the first word
// ("%ComSpec%").
std::vector<Word> ArgumentsOf(const std::string& command, const std::string& host) {
  std::vector<Word> words = SplitWords(command);
  std::size_t program = 0;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (HostName(words[i].text) == host) {
      program = i;
      break;
    }
  }
  if (program >= words.size())
    return {};
  return std::vector<Word>(words.begin() + static_cast<std::ptrdiff_t>(program) + 1, words.end());
}

bool IsSwitch(const std::string& word) {
  return !word.empty() && (word[0] == '/' || word[0] == '-');
}

// "-File", "--file", "/FILE" give "file".
std::string SwitchName(const std::string& word) {
  std::string name = LowerCase(word);
  while (!name.empty() && (name[0] == '-' || name[0] == '/'))
    name.erase(0, 1);
  return name;
}

bool Abbreviates(const std::string& name, const char* parameter) {
  return !name.empty() && std::string(parameter).rfind(name, 0) == 0;
}

// cmd /c (or /k) and the command after it: the file it starts, when it starts only that.
std::string CmdScript(const std::string& command, const std::vector<Word>& arguments) {
  for (const Word& word : arguments) {
    std::string lower = LowerCase(word.text);
    if (lower == "/c" || lower == "/k") {
      std::string rest = command.substr(word.end);
      // Chained, piped or redirected, it runs more than one file.
      if (rest.find_first_of("&|<>^\r\n") != std::string::npos)
        return "";
      std::string::size_type first = rest.find_first_not_of(" \t");
      return first == std::string::npos ? "" : ResolveCommandFile(rest.substr(first));
    }
    // cmd's own switches (/q /d /s /v:on ...); /c glued to its command is left whole.
    if (lower.size() < 2 || lower[0] != '/' || lower[1] == 'c' || lower[1] == 'k')
      return "";
  }
  return "";
}

// powershell -File x.ps1: only the switches before -File that cannot run a command.
std::string PowerShellScript(const std::vector<Word>& arguments) {
  static const char* const kTakesValue[] = {
      "executionpolicy",  "ep",           "windowstyle",   "version",
      "inputformat",      "outputformat", "psconsolefile", "configurationname",
      "workingdirectory", "wd",           "settingsfile",  "custompipename",
      "configurationfile"};
  bool value_next = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& text = arguments[i].text;
    if (!IsSwitch(text)) {
      // A word that is no switch's value starts a command.
      if (!value_next)
        return "";
      value_next = false;
      continue;
    }
    std::string name = SwitchName(text);
    if (Abbreviates(name, "command") || Abbreviates(name, "encodedcommand") || name == "ec")
      return "";
    if (Abbreviates(name, "file"))
      return i + 1 < arguments.size() ? arguments[i + 1].text : "";
    value_next = false;
    for (const char* parameter : kTakesValue)
      if (Abbreviates(name, parameter))
        value_next = true;
  }
  return "";
}

// wscript and cscript: the first word that is not one of their own "//" options.
std::string ScriptHostScript(const std::vector<Word>& arguments) {
  for (const Word& word : arguments)
    if (word.text.rfind("//", 0) != 0)
      return word.text;
  return "";
}

// regsvr32: one DLL, registered or unregistered; /i hands it a command line of its own.
std::string Regsvr32Dll(const std::vector<Word>& arguments) {
  std::string dll;
  for (const Word& word : arguments) {
    if (IsSwitch(word.text)) {
      if (SwitchName(word.text).starts_with('i'))
        return "";
      continue;
    }
    if (!dll.empty())
      return "";
    dll = word.text;
  }
  return dll;
}

// rundll32 x.dll,Entry: the DLL before the comma.
std::string Rundll32Dll(const std::vector<Word>& arguments) {
  if (arguments.empty())
    return "";
  return arguments[0].text.substr(0, arguments[0].text.find(','));
}

// The file the host is told to run, as its command names it; empty when it names none.
std::string NamedScript(const std::string& host, const std::string& command) {
  std::vector<Word> arguments = ArgumentsOf(command, host);
  std::string named;
  if (host == "cmd")
    return CmdScript(command, arguments);
  if (host == "powershell" || host == "pwsh")
    named = PowerShellScript(arguments);
  else if (host == "wscript" || host == "cscript")
    named = ScriptHostScript(arguments);
  else if (host == "mshta" && !arguments.empty())
    named = arguments[0].text;  // a file, or a URL or "javascript:..." that is none
  else if (host == "regsvr32")
    named = Regsvr32Dll(arguments);
  else if (host == "rundll32")
    named = Rundll32Dll(arguments);
  // Quoted, a path with blanks is taken whole; a leading variable is expanded.
  return named.empty() ? "" : ResolveCommandFile("\"" + named + "\"");
}

bool IsAbsolutePath(const std::string& path) {
  return (path.size() > 2 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

}  // namespace

std::string ScriptHostOf(const std::string& command, const std::string& file) {
  std::string host = HostName(file);
  if (!host.empty())
    return InSystemFolders(file) ? host : "";
  if (CommandNamesRundll32(command) && !FileExists(file))
    return "rundll32";
  return "";
}

std::string CommandTextKey(const std::string& command) {
  return "cmdline:" + Md2Hex(command);
}

ListRecord ListRecordOf(const std::string& command,
                        const std::string& file,
                        const std::string& hash,
                        bool by_digest) {
  std::string host = ScriptHostOf(command, file);
  if (host.empty())
    return {file, hash, by_digest ? hash : file};
  std::string script = NamedScript(host, command);
  // A script that is itself a host (cmd /c powershell ...) says nothing of what runs.
  if (IsAbsolutePath(script) && FileExists(script) && HostName(script).empty()) {
    std::string digest = GetFileHashCached(script, kScanHashAlgorithm);
    if (!digest.empty())
      return {script, digest, by_digest ? digest : script};
  }
  std::string key = CommandTextKey(command);
  return {file, key, key};
}
