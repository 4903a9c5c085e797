// What an entry is known by in the Allowed and Blocked lists. An entry is known by its
// file: by the file's digest when lists are matched by digest, else by its path. A script
// host (cmd, powershell, wscript ...) is the exception: it runs whatever its command tells
// it, so allowing one of its entries must not allow all of them. Its entries are known by
// the script or DLL their command hands it, or else by the whole command text.
#pragma once

#include <string>

// The pair an entry adds to a list ("<#>" File "<#>" Hash), and the field the lists are
// searched for when the entry is looked up.
struct ListRecord {
  std::string file;
  std::string hash;
  std::string key;
  bool operator==(const ListRecord&) const = default;
};

// The host's name ("cmd", "powershell", "pwsh", "wscript", "cscript", "mshta", "regsvr32",
// "rundll32") when the entry runs one of the system's script hosts, else empty. File is
// the command's resolved file: a host of that name in the Windows or Program Files
// folders (a copy elsewhere is a program like any other), or, for a rundll32 command
// whose DLL was not found, rundll32 itself.
std::string ScriptHostOf(const std::string& command, const std::string& file);

// The key of a whole command text: "cmdline:" and the digest of the text, so that a
// command of any length or content is one field, and no file's digest equals it.
std::string CommandTextKey(const std::string& command);

// The record of an entry whose Command resolves to File, whose digest is Hash. ByDigest:
// the lists are matched by digest for this entry (the option is on, and it is no task).
// For any file that is not a script host, the record is File and Hash, keyed by Hash when
// ByDigest and by File when not. A host's entry is recorded as the script or DLL its
// command names, keyed likewise by that file's digest or path, when the file exists and
// nothing else is run beside it; otherwise as File keyed by CommandTextKey(Command). Both
// ways, then, allowing one command of a host allows no other.
ListRecord ListRecordOf(const std::string& command,
                        const std::string& file,
                        const std::string& hash,
                        bool by_digest);
