#include "net/MakerService.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/AppInfo.h"
#include "app/ErrorScope.h"
#include "app/TextFunctions.h"
#include "app/Paths.h"
#include "app/LaunchModes.h"
#include "app/Ini.h"
#include "net/ServerAddress.h"
#include "net/Socket.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/shell_open.h"
#include "platform/system.h"
#include "registry/Registry.h"

namespace {

constexpr uint32_t kConnectLimit = 5000;
constexpr uint32_t kReplyTimeLimit = 60000;
constexpr uint32_t kWaitStep = 100;
uint32_t g_connect_limit = kConnectLimit;
uint32_t g_reply_limit = kReplyTimeLimit;

// A blank, a control character or DEL in the request line would break it or smuggle a
// second request into it.
bool IsSafePath(const std::string& path) {
  return std::none_of(path.begin(), path.end(),
                      [](unsigned char c) { return c <= 32 || c == 127; });
}

// The port as a signed 16-bit number, as the connection wants it.
int32_t PortNumber(const std::string& text) {
  std::string digits = text;
  digits.erase(std::remove(digits.begin(), digits.end(), ' '), digits.end());
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit))
    throw RuntimeError(kErrTypeMismatch, "Type mismatch");
  if (digits.size() > 5 || std::stol(digits) > 32767)
    throw RuntimeError(6, "Overflow");
  return static_cast<int32_t>(std::stol(digits));
}

bool PastDeadline(uint32_t deadline) {
  return static_cast<int32_t>(platform::TickCount() - deadline) > 0;
}

// Lets the messages run until `keep_waiting` is false or the deadline passes, waking
// as soon as a message arrives.
template <class Condition>
void WaitWhile(Condition keep_waiting, uint32_t limit) {
  uint32_t deadline = platform::TickCount() + limit;
  while (keep_waiting()) {
    platform::DoEvents();
    if (!keep_waiting())
      return;
    uint32_t left = deadline - platform::TickCount();
    if (PastDeadline(deadline))
      return;
    platform::WaitForEvents(std::min(left, kWaitStep));
    if (PastDeadline(deadline))
      return;
  }
}

std::string ProgField() {
  platform::Version version = platform::ProgramVersion();
  return EscapeControlChars(AppExeName() + "-" + std::to_string(version.major) + "." +
                            std::to_string(version.minor));
}

}  // namespace

UrlParts SplitUrl(const std::string& url) {
  UrlParts parts;
  std::string host = RemoveAllIgnoringCase(RemoveAllIgnoringCase(url, "http://"), "www.");
  host = host.substr(0, host.find('/'));
  parts.path =
      RemoveAllIgnoringCase(RemoveAllIgnoringCase(RemoveAll(url, host), "http://"), "www.");
  size_t colon = host.find(':');
  if (colon == std::string::npos) {
    parts.port = "80";
  } else {
    parts.port = host.substr(colon + 1);
    host = RemoveAll(host, ":" + parts.port);
  }
  parts.host = host;
  return parts;
}

std::string EscapeControlChars(const std::string& text) {
  std::string result = text;
  for (int code = 0; code <= 32; ++code) {
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", code);
    result = ReplaceAll(result, std::string(1, static_cast<char>(code)), escaped);
  }
  result = ReplaceAll(result, "<", "%20");
  return ReplaceAll(result, ">", "%20");
}

std::string BuildGetRequest(const std::string& path) {
  return "GET " + path +
         " HTTP/1.0\r\n"
         "Accept: */*\r\n"
         "Accept-Language: En-us\r\n"
         "User-Agent: Mozilla/4.0\r\n"
         "Host: 127.0.0.1\r\n"
         "Connection: Close\r\n"
         "\r\n";
}

std::string BuildPostRequest(const std::string& path,
                             const std::string& prog,
                             const std::string& post_data) {
  std::string boundary = std::string("--") + kFormBoundary + "\r\n";
  std::string body = boundary +
                     "Content-Disposition: form-data;name=\"prog\"\r\n"
                     "Content-Type: text/html\r\n"
                     "\r\n" +
                     prog + "\r\n" + boundary + boundary +
                     "Content-Disposition: form-data;name=\"err\"\r\n"
                     "Content-Type: text/html\r\n"
                     "\r\n" +
                     post_data + "\r\n" + boundary;
  return "POST " + path +
         " HTTP/1.1\r\n"
         "Accept: */*\r\n"
         "Accept-Language: En-us\r\n"
         "User-Agent: Mozilla/4.0\r\n"
         "Host: 127.0.0.1\r\n"
         "Content-Type: multipart/form-data, boundary=" +
         kFormBoundary +
         "\r\n"
         "Content-Length: " +
         std::to_string(body.size()) +
         "\r\n"
         "Connection: Close\r\n"
         "\r\n" +
         body;
}

std::string CutReply(const std::string& response) {
  size_t first = response.find("\r\n\r\n");
  if (first == std::string::npos)
    return response;
  size_t start = first + 4;
  size_t next = response.find("\r\n\r\n", start);
  return response.substr(start, next == std::string::npos ? std::string::npos : next - start);
}

double VersionNumber(const std::string& version) {
  double number = 0;
  for (char c : RemoveAll(version, ".")) {
    if (c == ' ' || c == '\t' || c == '\n')
      continue;
    if (c < '0' || c > '9')
      break;
    number = number * 10 + (c - '0');
  }
  return number;
}

bool UpdateListOffersNewer(const std::string& list,
                           const std::string& file_name,
                           const std::function<std::string()>& installed_version) {
  if (list.size() < 100)
    return false;
  if (LowerCase(list).find("#updates") == std::string::npos)
    return false;
  std::vector<std::string> lines = SplitText(list, "\r\n");
  for (size_t index = 1; index < lines.size(); ++index) {
    // An empty line has no first field: the list ends there.
    if (lines[index].empty())
      throw RuntimeError(9, "Subscript out of range");
    std::vector<std::string> fields = SplitText(lines[index], "#");
    // A line that starts with "#" (the marker, a comment) is nobody's entry.
    if (fields[0].empty())
      continue;
    if (LowerCase(fields[0]) != LowerCase(file_name))
      continue;
    if (fields.size() < 2)
      throw RuntimeError(9, "Subscript out of range");
    if (VersionNumber(fields[1]) > VersionNumber(installed_version()))
      return true;
  }
  return false;
}

std::string LastUpdateKey(const std::string& exe_path) {
  return "HKCU\\Software\\VB and VBA Program Settings\\" + exe_path + "\\Settings";
}

void ctlProgramSupport::SetTimeLimitsForTesting(uint32_t connect_milliseconds,
                                                uint32_t reply_milliseconds) {
  g_connect_limit = connect_milliseconds ? connect_milliseconds : kConnectLimit;
  g_reply_limit = reply_milliseconds ? reply_milliseconds : kReplyTimeLimit;
}

// Each call has its own socket and buffer, so a call made from a message handled
// while another one waits does not disturb it.
std::string ctlProgramSupport::DownloadUrl(const std::string& url, const std::string& post_data) {
  ErrorScope error;
  UniSock socket;
  std::string response;

  socket.OnDataArrival = [&](int32_t bytes_total) {
    ErrorScope arrival;
    arrival.Try([&] {
      SockVariant data;
      socket.GetData(data, kVbString, bytes_total);
      if (const auto* text = std::get_if<std::string>(&data)) {
        size_t room = kReplyLimit - response.size();
        response.append(*text, 0, std::min(room, text->size()));
        if (text->size() >= room)
          socket.CloseSocket();  // enough: a bigger reply is not ours
      }
    });
  };

  UrlParts parts;
  std::string request;
  bool usable = error.Try([&] {
    parts = SplitUrl(url);
    if (!IsSafePath(parts.path))
      throw RuntimeError(5, "Invalid procedure call or argument");
    request = post_data.empty() ? BuildGetRequest(parts.path)
                                : BuildPostRequest(parts.path, ProgField(), post_data);
  });
  if (!usable)
    return "";

  // The socket keeps its "connecting" state when the connection is refused and only
  // reports the error; without noting that, a server that is down would hold every
  // caller for the whole connect limit.
  bool connect_failed = false;
  socket.OnStatusChange = [&](int32_t state) {
    if (state == kSockError && socket.State() == kSockConnecting)
      connect_failed = true;
  };
  error.Try([&] { socket.Connect(parts.host, PortNumber(parts.port)); });
  platform::DoEvents();
  WaitWhile([&] { return socket.State() == kSockConnecting && !connect_failed; },
            g_connect_limit);

  if (socket.State() == kSockConnected) {
    error.Try([&] { socket.SendData(request); });
    WaitWhile(
        [&] {
          int32_t state = socket.State();
          return state != kSockClosing && state != kSockError && state != kSockClosed;
        },
        g_reply_limit);
  }
  while (socket.State() != kSockClosed)
    socket.CloseSocket();
  return CutReply(response);
}

bool ctlProgramSupport::isUpdateAvailable(const std::string& file) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  bool available = false;
  error.Try([&] {
    std::string today = std::to_string(platform::Now().day);
    if (ReadRegValue(LastUpdateKey(file), "LastUpdate", "") == today)
      return;
    std::string list = DownloadUrl("http://" + ServerAddress() + kUpdatesPath);
    std::string name = GetFileName(file);
    available = UpdateListOffersNewer(list, name, [&] {
      return GetIniValue(AppFile("ver.ini"), "Installed", name, "1.0");
    });
  });
  return error.pending() ? false : available;
}

void ctlProgramSupport::CheckUpdates() {
  ErrorScope error;
  std::string updater = AppFile("update.exe");
  uint32_t attributes = 0;
  if (!platform::ReadAttributes(updater, &attributes))
    return;
  if (attributes & (platform::kAttrDirectory | platform::kAttrHidden | platform::kAttrSystem))
    return;
  error.Try([&] {
    if (!isUpdateAvailable(AppExePath))
      return;
    platform::OpenWithShell("open", updater, "", AppFolder(), platform::kShowNormal);
  });
}

void ctlProgramSupport::SubmitError(const std::string& errs) {
  ErrorScope error(ErrorScope::AtEnd::kClear);
  error.Try([&] { DownloadUrl("http://" + ServerAddress() + kErrorReportPath, errs); });
}
