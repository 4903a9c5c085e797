#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace server {

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

// The server's data in one SQLite file. Every call is complete in itself and
// safe from several threads (one connection, one lock).
class Store {
 public:
  explicit Store(const std::filesystem::path& file);  // throws StoreError
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  void RecordVerdict(const Verdict& verdict);
  // The newest `limit` verdicts of a digest, oldest first.
  std::vector<Verdict> Verdicts(std::string_view digest, std::size_t limit) const;

  void AddErrorReport(const ErrorReport& report);
  // The newest `limit` reports, oldest first.
  std::vector<ErrorReport> ErrorReports(std::size_t limit) const;
  // Reports whose prog is the program's name alone or its name, "-" and a version.
  std::int64_t CountErrorReports(std::string_view program) const;

 private:
  void Execute(const char* sql) const;

  sqlite3* db_ = nullptr;
  mutable std::mutex mutex_;
};

}  // namespace server
