#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Store.h"

namespace server {

// The embedded store: one SQLite file in WAL mode. Writes go through one connection,
// one at a time; reads take connections of their own, so they never queue behind a
// write, and a lookup of a busy digest does not hold up the next one.
class SqliteStore final : public Store {
 public:
  // Throws StoreError when the file cannot be opened or written.
  explicit SqliteStore(const std::filesystem::path& file,
                       std::chrono::milliseconds busyTimeout = std::chrono::milliseconds(1000));
  ~SqliteStore() override;

  void RecordVerdict(const Verdict& verdict) override;
  std::vector<Verdict> Verdicts(std::string_view digest, std::size_t limit) const override;
  void AddErrorReport(const ErrorReport& report, const Retention& retention) override;
  void TrimErrorReports(const Retention& retention) override;
  std::vector<ErrorReport> ErrorReports(std::size_t limit) const override;
  std::int64_t CountErrorReports(std::string_view program) const override;
  std::int64_t ErrorReportBytes() const override;
  std::string Describe() const override;

  // The statements of a lookup and of the report count, for the tests that ask
  // SQLite how it runs them.
  static const char* const kVerdictsSql;
  static const char* const kCountReportsSql;

  class Connection;

 private:
  class ReadLease;
  ReadLease Read() const;
  template <typename Body>
  void Write(bool transaction, Body body);

  std::filesystem::path file_;
  std::chrono::milliseconds busyTimeout_;
  std::unique_ptr<Connection> writer_;
  std::timed_mutex writeMutex_;
  mutable std::mutex readersMutex_;
  mutable std::vector<std::unique_ptr<Connection>> idleReaders_;
};

}  // namespace server
