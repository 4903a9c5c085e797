#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// Any failure of the database. The handlers answer it with a 503: the request was
// fine, the storage was not.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One user's verdict on a file digest. A client address holds one verdict per
// digest: a newer report from the same address replaces the older one.
struct Verdict {
  std::int64_t id = 0;
  std::string digest;
  std::string address;
  std::string fileName;
  std::string label;
  std::string verdict;  // "al" or "bl"
  std::string time;     // UTC, ISO 8601
};

struct ErrorReport {
  std::int64_t id = 0;
  std::string time;
  std::string address;
  std::string prog;
  std::string err;
};

// How much of the error reports is kept: none older than `keepSince` (a time in
// the form of ErrorReport::time; empty keeps all ages), and at most `maxBytes` of
// prog and err together (0: no cap). Past the cap the oldest go first.
struct Retention {
  std::string keepSince;
  std::int64_t maxBytes = 0;
};

// The server's data. Every call is complete in itself (one transaction) and safe
// from several threads; reads never wait for writes.
class Store {
 public:
  virtual ~Store() = default;

  // Refuses a verdict without an address: all of those would share one slot.
  virtual void RecordVerdict(const Verdict& verdict) = 0;
  // The newest `limit` verdicts of a digest, oldest first.
  virtual std::vector<Verdict> Verdicts(std::string_view digest, std::size_t limit) const = 0;

  // Adds the report and trims the reports to `retention` in the same transaction.
  virtual void AddErrorReport(const ErrorReport& report, const Retention& retention) = 0;
  virtual void TrimErrorReports(const Retention& retention) = 0;
  // The newest `limit` reports, oldest first.
  virtual std::vector<ErrorReport> ErrorReports(std::size_t limit) const = 0;
  // Reports whose prog is the program's name alone or its name, "-" and a version.
  virtual std::int64_t CountErrorReports(std::string_view program) const = 0;
  // prog and err of every kept report, in bytes.
  virtual std::int64_t ErrorReportBytes() const = 0;

  // What the log says about where the data is (never a password).
  virtual std::string Describe() const = 0;
};

struct StoreOptions {
  // Empty: SQLite in `dataFolder`; "postgresql://..." or "postgres://...": PostgreSQL.
  std::string database;
  std::filesystem::path dataFolder;
  // How long a write may wait for the database's lock before it fails.
  std::chrono::milliseconds busyTimeout{1000};
};

bool IsPostgresUrl(std::string_view database);

// Opens (and creates or upgrades) the store, and proves that it can be written:
// a server that could only read would take votes and drop them. Throws StoreError.
std::unique_ptr<Store> OpenStore(const StoreOptions& options);

}  // namespace server
