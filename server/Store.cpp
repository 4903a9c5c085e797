#include "Store.h"

#include <sqlite3.h>

namespace server {
namespace {

// A prepared statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      throw StoreError(std::string("cannot prepare statement: ") + sqlite3_errmsg(db));
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::string_view text) {
    Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int index, std::int64_t number) {
    Check(sqlite3_bind_int64(stmt_, index, number));
    return *this;
  }

  // True while there is a row to read.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw StoreError(std::string("database step failed: ") + sqlite3_errmsg(db_));
  }

  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
  }
  std::int64_t Number(int column) const { return sqlite3_column_int64(stmt_, column); }

 private:
  void Check(int rc) const {
    if (rc != SQLITE_OK) throw StoreError(std::string("cannot bind value: ") + sqlite3_errmsg(db_));
  }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

Store::Store(const std::filesystem::path& file) {
  if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw StoreError("cannot open " + file.string() + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
  try {
    Execute(
        "CREATE TABLE IF NOT EXISTS verdicts ("
        " id INTEGER PRIMARY KEY,"
        " digest TEXT NOT NULL,"
        " address TEXT NOT NULL,"
        " file_name TEXT NOT NULL,"
        " label TEXT NOT NULL,"
        " verdict TEXT NOT NULL,"
        " time TEXT NOT NULL,"
        " UNIQUE (digest, address));"
        "CREATE TABLE IF NOT EXISTS error_reports ("
        " id INTEGER PRIMARY KEY,"
        " time TEXT NOT NULL,"
        " address TEXT NOT NULL,"
        " prog TEXT NOT NULL,"
        " err TEXT NOT NULL);");
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

Store::~Store() { sqlite3_close(db_); }

void Store::Execute(const char* sql) const {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw StoreError("database error: " + message);
  }
}

void Store::RecordVerdict(const Verdict& verdict) {
  std::lock_guard lock(mutex_);
  Statement(db_,
            "INSERT INTO verdicts (digest, address, file_name, label, verdict, time)"
            " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
            " ON CONFLICT (digest, address) DO UPDATE SET"
            " file_name = excluded.file_name, label = excluded.label,"
            " verdict = excluded.verdict, time = excluded.time")
      .Bind(1, verdict.digest)
      .Bind(2, verdict.address)
      .Bind(3, verdict.fileName)
      .Bind(4, verdict.label)
      .Bind(5, verdict.verdict)
      .Bind(6, verdict.time)
      .Step();
}

std::vector<Verdict> Store::Verdicts(std::string_view digest, std::size_t limit) const {
  std::lock_guard lock(mutex_);
  Statement query(db_,
                  "SELECT id, digest, address, file_name, label, verdict, time FROM ("
                  " SELECT * FROM verdicts WHERE digest = ?1 ORDER BY id DESC LIMIT ?2)"
                  " ORDER BY id");
  query.Bind(1, digest).Bind(2, static_cast<std::int64_t>(limit));
  std::vector<Verdict> verdicts;
  while (query.Step()) {
    verdicts.push_back({query.Number(0), query.Text(1), query.Text(2), query.Text(3), query.Text(4),
                        query.Text(5), query.Text(6)});
  }
  return verdicts;
}

void Store::AddErrorReport(const ErrorReport& report) {
  std::lock_guard lock(mutex_);
  Statement(db_, "INSERT INTO error_reports (time, address, prog, err) VALUES (?1, ?2, ?3, ?4)")
      .Bind(1, report.time)
      .Bind(2, report.address)
      .Bind(3, report.prog)
      .Bind(4, report.err)
      .Step();
}

std::vector<ErrorReport> Store::ErrorReports(std::size_t limit) const {
  std::lock_guard lock(mutex_);
  Statement query(db_,
                  "SELECT id, time, address, prog, err FROM ("
                  " SELECT * FROM error_reports ORDER BY id DESC LIMIT ?1)"
                  " ORDER BY id");
  query.Bind(1, static_cast<std::int64_t>(limit));
  std::vector<ErrorReport> reports;
  while (query.Step()) {
    reports.push_back({query.Number(0), query.Text(1), query.Text(2), query.Text(3), query.Text(4)});
  }
  return reports;
}

std::int64_t Store::CountErrorReports(std::string_view program) const {
  std::lock_guard lock(mutex_);
  Statement query(db_,
                  "SELECT COUNT(*) FROM error_reports"
                  " WHERE prog = ?1 OR substr(prog, 1, length(?1) + 1) = ?1 || '-'");
  query.Bind(1, program);
  return query.Step() ? query.Number(0) : 0;
}

}  // namespace server
