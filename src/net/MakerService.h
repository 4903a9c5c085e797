// ctlProgramSupport: the program's HTTP traffic. DownloadUrl opens a fresh connection,
// sends one GET or one multipart POST, waits (letting messages run) until the server
// closes or a time limit passes, and gives back the reply's body. On top of it: the
// update check and the error report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

inline constexpr char kUpdatesPath[] = "/~vantor/updates/updates.ini";
inline constexpr char kErrorReportPath[] = "/~vantor/progerr.php";
inline constexpr char kFormBoundary[] = "98971212161631";
// Our replies are a few kilobytes; a server that sends more is cut off here.
inline constexpr size_t kReplyLimit = 1024 * 1024;

struct UrlParts {
  std::string host;
  std::string path;
  std::string port;
};

// host, path and port text as the request is built from them.
UrlParts SplitUrl(const std::string& url);
// Characters 0 to 32 become "%" and two upper-case hex digits; "<" and ">" become "%20".
std::string EscapeControlChars(const std::string& text);
std::string BuildGetRequest(const std::string& path);
std::string BuildPostRequest(const std::string& path, const std::string& prog,
                             const std::string& post_data);
// The text between the first blank line and the next one (or the end); the whole text
// when it has no blank line.
std::string CutReply(const std::string& response);
// A version text as one number: dots removed, then read as a numeric prefix.
double VersionNumber(const std::string& version);
// The update list's answer for the executable FileName: true when the list is at least
// 100 characters long, holds "#Updates" (any case), and a line after the first names
// FileName (any case) with a version newer than InstalledVersion(), which is asked only
// when a line matches; a line that starts with "#" is nobody's entry. An empty line
// before the answer, or a matching line without a version, ends the list with a
// RuntimeError, as the check has always done.
bool UpdateListOffersNewer(const std::string& list, const std::string& file_name,
                           const std::function<std::string()>& installed_version);
// Where LastUpdate lives: the per-user program settings of the executable at `exe_path`.
std::string LastUpdateKey(const std::string& exe_path);

class ctlProgramSupport {
 public:
  // An empty PostData sends a GET, any other a POST. "" when nothing arrived.
  std::string DownloadUrl(const std::string& url, const std::string& post_data = "");
  void CheckUpdates();
  bool isUpdateAvailable(const std::string& file);
  void SubmitError(const std::string& errs);

  // Shortens the 5 s connect and 60 s reply limits; zeros restore them.
  static void SetTimeLimitsForTesting(uint32_t connect_milliseconds, uint32_t reply_milliseconds);
};
