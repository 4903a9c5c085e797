#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Store.h"

struct sqlite3;

namespace server {

// The embedded store: one SQLite file in WAL mode. Writes go through one connection,
// one at a time; reads take connections of their own, so they never queue behind a
// write, and a lookup of a busy digest does not hold up the next one. The log is
// copied back into the database (and synced to disk) by a thread of its own rather
// than by the write that happens to fill it.
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
  void Checkpoints();
  static int LogGrew(void* store, sqlite3* db, const char* name, int pages);

  std::filesystem::path file_;
  std::chrono::milliseconds busyTimeout_;
  std::unique_ptr<Connection> writer_;
  std::timed_mutex writeMutex_;
  mutable std::mutex readersMutex_;
  mutable std::vector<std::unique_ptr<Connection>> idleReaders_;

  std::mutex checkpointMutex_;
  std::condition_variable checkpointWanted_;
  bool logFull_ = false;
  bool closing_ = false;
  std::thread checkpointer_;
};

}  // namespace server
