#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "Store.h"

namespace server {

// What a request gets back, before it is put on the wire.
struct Reply {
  int status = 200;
  std::string contentType = "text/plain";
  std::string body;
};

// The answers of the web service, free of sockets. Our program reads a reply only
// up to its first blank line, so no reply it asks for ever holds one.
class Handlers {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // A lookup lists at most this many verdicts (the newest), about 60 KiB.
  static constexpr std::size_t kMaxListedVerdicts = 1000;
  // The longest file name a verdict keeps, in bytes.
  static constexpr std::size_t kMaxFileName = 260;
  // The update list is served only up to this size.
  static constexpr std::size_t kMaxUpdateList = 1024 * 1024;

  Handlers(Store& store, std::filesystem::path dataFolder,
           Clock clock = [] { return std::chrono::system_clock::now(); });

  // GET /~vantor/filecheck.php?md5=DIGEST[&file=NAME&report=al|bl]
  Reply FileCheck(std::string_view target, std::string_view clientAddress);
  // POST /~vantor/progerr.php with the fields prog and err.
  Reply ReceiveErrorReport(std::string_view contentType, std::string_view body,
                           std::string_view clientAddress);
  // GET /~vantor/progerr.php?request=dn|er|fr[&program=NAME]: pages for a person.
  Reply ErrorReportPage(std::string_view target) const;
  // GET /~vantor/updates/updates.ini
  Reply UpdateList() const;

 private:
  std::string Now() const;
  std::string Today() const;

  Store& store_;
  std::filesystem::path dataFolder_;
  Clock clock_;
};

// The reply for an error status: "400 Bad Request: " and the reason.
Reply ErrorReply(int status, std::string_view reason);

std::string HtmlEscape(std::string_view text);

}  // namespace server
