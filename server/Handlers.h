#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "RateLimit.h"
#include "Store.h"

namespace server {

// What a request gets back, before it is put on the wire.
struct Reply {
  int status = 200;
  std::string contentType = "text/plain";
  std::string body;
  int retryAfter = 0;  // seconds, for a Retry-After header; 0: none
};

// What one address may write, and how much of the error reports is kept.
struct Policy {
  int votesPerHour = 60;    // 0: no limit
  int reportsPerHour = 20;  // 0: no limit
  int reportDays = 90;      // 0: kept at any age
  std::int64_t reportBytes = std::int64_t{256} * 1024 * 1024;  // 0: no cap
};

// The answers of the web service, free of sockets. Our program reads a reply only
// up to its first blank line, so no reply it asks for ever holds one.
class Handlers {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  using Logger = std::function<void(const std::string& line)>;

  // A lookup lists at most this many verdicts (the newest), about 60 KiB.
  static constexpr std::size_t kMaxListedVerdicts = 1000;
  // The longest file name a verdict keeps, in bytes.
  static constexpr std::size_t kMaxFileName = 260;
  // The update list is served only up to this size.
  static constexpr std::size_t kMaxUpdateList = 1024 * 1024;

  Handlers(Store& store, std::filesystem::path dataFolder, Policy policy = {},
           Clock clock = [] { return std::chrono::system_clock::now(); }, Logger logger = nullptr);

  // GET /~vantor/filecheck.php?md5=DIGEST[&file=NAME&report=al|bl]; a HEAD may look
  // up but never records. Every request needs the client's address.
  Reply FileCheck(std::string_view method, std::string_view target, std::string_view clientAddress);
  // POST /~vantor/progerr.php with the fields prog and err.
  Reply ReceiveErrorReport(std::string_view contentType, std::string_view body,
                           std::string_view clientAddress);
  // GET /~vantor/progerr.php?request=dn|er|fr[&program=NAME]: pages for a person.
  Reply ErrorReportPage(std::string_view target);
  // GET /~vantor/updates/updates.ini
  Reply UpdateList() const;

  // Drops the error reports that are past their age or over the cap.
  void TrimErrorReports();

 private:
  std::string Time(std::chrono::system_clock::time_point when) const;
  std::string Now() const;
  std::string Today() const;
  Retention CurrentRetention() const;
  Reply WriteFailed(const StoreError& failure);
  Reply ReadFailed(const StoreError& failure);
  void Written();
  void ReadWorked();
  void Log(const std::string& line) const;

  Store& store_;
  std::filesystem::path dataFolder_;
  Policy policy_;
  Clock clock_;
  Logger logger_;
  RateLimiter votes_;
  RateLimiter reports_;
  // Whether the last write (read) worked: the log tells when that changes.
  std::atomic<bool> writable_ = true;
  std::atomic<bool> readable_ = true;
};

// "Bad Request" for 400, and so on.
const char* StatusText(int status);

// The reply for an error status: "400 Bad Request: " and the reason.
Reply ErrorReply(int status, std::string_view reason);

std::string HtmlEscape(std::string_view text);

}  // namespace server
