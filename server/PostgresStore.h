#pragma once

#include <memory>
#include <string>

#include "Store.h"

namespace server {

// The shared store: a PostgreSQL database, so that several server processes on
// several machines serve the same verdicts. The tables are those of the SQLite
// store; texts that come from users as they are (file names, error reports) are
// kept as bytes, since our program sends its ANSI code page and not UTF-8.
class PostgresStore final : public Store {
 public:
  // `url` is a libpq connection URI. Throws StoreError when the database cannot be
  // reached or written.
  explicit PostgresStore(const std::string& url);
  ~PostgresStore() override;

  void RecordVerdict(const Verdict& verdict) override;
  std::vector<Verdict> Verdicts(std::string_view digest, std::size_t limit) const override;
  void AddErrorReport(const ErrorReport& report, const Retention& retention) override;
  void TrimErrorReports(const Retention& retention) override;
  std::vector<ErrorReport> ErrorReports(std::size_t limit) const override;
  std::int64_t CountErrorReports(std::string_view program) const override;
  std::int64_t ErrorReportBytes() const override;
  std::string Describe() const override;

 private:
  struct Pool;
  std::unique_ptr<Pool> pool_;
  std::string description_;
};

}  // namespace server
