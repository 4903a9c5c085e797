#include "SqliteStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <unordered_map>

namespace server {
namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  throw StoreError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

// A report's weight against the cap: its two texts in bytes.
const char* const kReportSizeSql = "length(CAST(prog AS BLOB)) + length(CAST(err AS BLOB))";

struct Removed {
  std::int64_t reports = 0;
  std::int64_t bytes = 0;
};

constexpr int kCheckpointPages = 1000;
constexpr int kLongLogPages = 2000;
constexpr int kMostLogPages = 4000;
constexpr int kLastCopyPages = 256;

}  // namespace

// One SQLite connection and the statements it has prepared, kept for reuse.
class SqliteStore::Connection {
 public:
  // A prepared statement on loan: reset and unbound when it goes.
  class Query {
   public:
    Query(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    ~Query() {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, std::string_view text) {
      Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
      return *this;
    }
    Query& Bind(int index, std::int64_t number) {
      Check(sqlite3_bind_int64(stmt_, index, number));
      return *this;
    }
    // True while there is a row to read.
    bool Step() {
      const int rc = sqlite3_step(stmt_);
      if (rc == SQLITE_ROW) return true;
      if (rc == SQLITE_DONE) return false;
      Fail(db_, "database step failed");
    }
    void Run() {
      while (Step()) {
      }
    }
    std::string Text(int column) const {
      const auto* text = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
      return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }
    std::int64_t Number(int column) const { return sqlite3_column_int64(stmt_, column); }

   private:
    void Check(int rc) const {
      if (rc != SQLITE_OK) Fail(db_, "cannot bind value");
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_;
  };

  Connection(const std::filesystem::path& file, int flags, std::chrono::milliseconds busyTimeout) {
    if (sqlite3_open_v2(file.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StoreError("cannot open " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count()));
    sqlite3_extended_result_codes(db_, 1);
  }
  ~Connection() {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  sqlite3* db() const { return db_; }

  // `sql` is one of our string constants: its address is the key of the cache.
  Query Prepare(const char* sql) {
    sqlite3_stmt*& stmt = statements_[sql];
    if (!stmt && sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
      statements_.erase(sql);
      Fail(db_, "cannot prepare statement");
    }
    return Query(db_, stmt);
  }

  void Execute(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw StoreError("database error: " + message);
    }
  }

  std::string Single(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) Fail(db_, "database error");
    std::string value;
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW && sqlite3_column_text(stmt, 0)) {
      value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(db_, "database error");
    return value;
  }

 private:
  sqlite3* db_ = nullptr;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

// A reader connection taken from the idle ones (or a new one), given back after use.
class SqliteStore::ReadLease {
 public:
  ReadLease(const SqliteStore& store, std::unique_ptr<Connection> connection)
      : store_(store), connection_(std::move(connection)) {}
  ~ReadLease() {
    std::lock_guard lock(store_.readersMutex_);
    store_.idleReaders_.push_back(std::move(connection_));
  }
  ReadLease(const ReadLease&) = delete;
  ReadLease& operator=(const ReadLease&) = delete;
  Connection* operator->() const { return connection_.get(); }

 private:
  const SqliteStore& store_;
  std::unique_ptr<Connection> connection_;
};

const char* const SqliteStore::kVerdictsSql =
    "SELECT id, digest, address, file_name, label, verdict, time FROM verdicts"
    " WHERE digest = ?1 ORDER BY id DESC LIMIT ?2";
const char* const SqliteStore::kCountReportsSql =
    "SELECT (SELECT coalesce(sum(reports), 0) FROM report_counts WHERE prog = ?1)"
    " + (SELECT coalesce(sum(reports), 0) FROM report_counts WHERE prog >= ?2 AND prog < ?3)";

namespace {

const char* const kRecordVerdictSql =
    "INSERT INTO verdicts (digest, address, file_name, label, verdict, time)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
    " ON CONFLICT (digest, address) DO UPDATE SET"
    " file_name = excluded.file_name, label = excluded.label,"
    " verdict = excluded.verdict, time = excluded.time";
const char* const kAddReportSql = "INSERT INTO error_reports (time, address, prog, err) VALUES (?1, ?2, ?3, ?4)";
const char* const kCountReportSql =
    "INSERT INTO report_counts (prog, reports, bytes) VALUES (?1, 1, ?2)"
    " ON CONFLICT (prog) DO UPDATE SET reports = reports + 1, bytes = bytes + excluded.bytes";
const char* const kAddTotalSql = "UPDATE report_totals SET reports = reports + 1, bytes = bytes + ?1 WHERE id = 1";
const char* const kTotalBytesSql = "SELECT bytes FROM report_totals WHERE id = 1";
const char* const kReportsSql =
    "SELECT id, time, address, prog, err FROM error_reports ORDER BY id DESC LIMIT ?1";

}  // namespace

SqliteStore::SqliteStore(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout)
    : file_(file), busyTimeout_(busyTimeout) {
  writer_ = std::make_unique<Connection>(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, busyTimeout);
  const std::string cannotWrite = "cannot write the database " + file.string();
  // SQLite opens a file it may not write read-only, without a word.
  if (sqlite3_db_readonly(writer_->db(), "main") == 1) throw StoreError(cannotWrite + ": it is read-only");
  try {
    // WAL: readers see the last commit while a write goes on. With synchronous=NORMAL
    // a commit is not synced to disk: a crashed server loses nothing, a crashed
    // machine can lose the last moments.
    if (writer_->Single("PRAGMA journal_mode = WAL") != "wal") {
      throw StoreError("its folder does not allow the write-ahead log");
    }
    writer_->Execute("PRAGMA synchronous = NORMAL");
    writer_->Execute("BEGIN IMMEDIATE");
    writer_->Execute(
        "CREATE TABLE IF NOT EXISTS schema_info (name TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS verdicts ("
        " id INTEGER PRIMARY KEY,"
        " digest TEXT NOT NULL,"
        " address TEXT NOT NULL,"
        " file_name TEXT NOT NULL,"
        " label TEXT NOT NULL,"
        " verdict TEXT NOT NULL,"
        " time TEXT NOT NULL,"
        " UNIQUE (digest, address));"
        "CREATE INDEX IF NOT EXISTS verdicts_by_digest ON verdicts (digest, id);"
        "CREATE TABLE IF NOT EXISTS error_reports ("
        " id INTEGER PRIMARY KEY,"
        " time TEXT NOT NULL,"
        " address TEXT NOT NULL,"
        " prog TEXT NOT NULL,"
        " err TEXT NOT NULL);"
        "CREATE INDEX IF NOT EXISTS error_reports_by_time ON error_reports (time);"
        "CREATE TABLE IF NOT EXISTS report_counts ("
        " prog TEXT PRIMARY KEY, reports INTEGER NOT NULL, bytes INTEGER NOT NULL);"
        "CREATE TABLE IF NOT EXISTS report_totals ("
        " id INTEGER PRIMARY KEY, reports INTEGER NOT NULL, bytes INTEGER NOT NULL);");
    // A database from before the counts were kept gets them counted once.
    if (writer_->Single("SELECT count(*) FROM report_totals") == "0") {
      writer_->Execute(std::string("INSERT INTO report_counts (prog, reports, bytes)"
                                   " SELECT prog, count(*), sum(") +
                       kReportSizeSql + ") FROM error_reports GROUP BY prog;" +
                       "INSERT INTO report_totals (id, reports, bytes)"
                       " SELECT 1, count(*), coalesce(sum(" +
                       kReportSizeSql + "), 0) FROM error_reports;");
    }
    // Written on every start: this is where an unwritable database shows.
    writer_->Execute(
        "INSERT INTO schema_info (name, value) VALUES ('version', '2')"
        " ON CONFLICT (name) DO UPDATE SET value = excluded.value");
    writer_->Execute("COMMIT");
  } catch (const StoreError& failure) {
    throw StoreError(cannotWrite + ": " + failure.what());
  }
  // From here on the checkpointer copies the log back, not the writes.
  writer_->Execute("PRAGMA wal_autocheckpoint = 0");
  // A log that a burst of writes made long is cut back when it starts afresh.
  writer_->Execute("PRAGMA journal_size_limit = 67108864");
  sqlite3_wal_hook(writer_->db(), LogGrew, this);
  checkpointer_ = std::thread([this] { Checkpoints(); });
}

SqliteStore::~SqliteStore() {
  {
    std::lock_guard lock(checkpointMutex_);
    closing_ = true;
  }
  checkpointWanted_.notify_all();
  if (checkpointer_.joinable()) checkpointer_.join();
}

// Past a thousand pages of log, where SQLite would copy it back by itself, the
// checkpointer is woken. Should it fall far behind all the same, the writer copies
// the log back itself, as SQLite would: the log must not grow without end.
int SqliteStore::LogGrew(void* store, sqlite3* db, const char* name, int pages) {
  if (pages < kCheckpointPages) return SQLITE_OK;
  if (pages >= kMostLogPages) {
    sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
  }
  auto* self = static_cast<SqliteStore*>(store);
  {
    std::lock_guard lock(self->checkpointMutex_);
    self->logFull_ = true;
  }
  self->checkpointWanted_.notify_one();
  return SQLITE_OK;
}

void SqliteStore::Checkpoints() {
  Connection connection(file_, SQLITE_OPEN_READWRITE, busyTimeout_);
  std::unique_lock lock(checkpointMutex_);
  while (!closing_) {
    checkpointWanted_.wait_for(lock, std::chrono::seconds(10), [this] { return logFull_ || closing_; });
    if (closing_) break;
    logFull_ = false;
    lock.unlock();
    // Passive: readers and the writer go on meanwhile. A failure (a full disk) is
    // the next write's to report.
    // Under a steady stream of writes the copy never reaches the end of the log, and
    // only a log copied to its end starts afresh: so once it is long, the rest is
    // copied while the writes wait, once it is little.
    int logPages = 0;
    int copied = 0;
    for (int pass = 0; pass < 8; ++pass) {
      if (sqlite3_wal_checkpoint_v2(connection.db(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logPages, &copied) !=
              SQLITE_OK ||
          logPages - copied <= kLastCopyPages) {
        break;
      }
    }
    if (logPages >= kLongLogPages && logPages - copied <= kLastCopyPages) {
      std::unique_lock writing(writeMutex_, std::defer_lock);
      if (writing.try_lock_for(busyTimeout_)) {
        sqlite3_wal_checkpoint_v2(connection.db(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
      }
    }
    lock.lock();
  }
}

std::string SqliteStore::Describe() const { return "SQLite database " + file_.string(); }

SqliteStore::ReadLease SqliteStore::Read() const {
  {
    std::lock_guard lock(readersMutex_);
    if (!idleReaders_.empty()) {
      auto connection = std::move(idleReaders_.back());
      idleReaders_.pop_back();
      return ReadLease(*this, std::move(connection));
    }
  }
  auto connection = std::make_unique<Connection>(file_, SQLITE_OPEN_READWRITE, busyTimeout_);
  connection->Execute("PRAGMA query_only = 1");
  return ReadLease(*this, std::move(connection));
}

// One writer at a time. A write that cannot have the lock within the busy time
// fails, instead of holding up a worker for as long as the lock is held elsewhere.
template <typename Body>
void SqliteStore::Write(bool transaction, Body body) {
  std::unique_lock lock(writeMutex_, std::defer_lock);
  if (!lock.try_lock_for(busyTimeout_)) throw StoreError("the database is busy");
  if (!transaction) return body(*writer_);
  writer_->Execute("BEGIN IMMEDIATE");
  try {
    body(*writer_);
    writer_->Execute("COMMIT");
  } catch (...) {
    sqlite3_exec(writer_->db(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteStore::RecordVerdict(const Verdict& verdict) {
  if (verdict.address.empty()) throw StoreError("a verdict needs the client's address");
  Write(false, [&](Connection& db) {
    db.Prepare(kRecordVerdictSql)
        .Bind(1, verdict.digest)
        .Bind(2, verdict.address)
        .Bind(3, verdict.fileName)
        .Bind(4, verdict.label)
        .Bind(5, verdict.verdict)
        .Bind(6, verdict.time)
        .Run();
  });
}

std::vector<Verdict> SqliteStore::Verdicts(std::string_view digest, std::size_t limit) const {
  const auto db = Read();
  auto query = db->Prepare(kVerdictsSql);
  query.Bind(1, digest).Bind(2, static_cast<std::int64_t>(limit));
  std::vector<Verdict> verdicts;
  while (query.Step()) {
    verdicts.push_back({query.Number(0), query.Text(1), query.Text(2), query.Text(3), query.Text(4),
                        query.Text(5), query.Text(6)});
  }
  std::reverse(verdicts.begin(), verdicts.end());
  return verdicts;
}

namespace {

// Takes the deleted reports off their counts.
void Uncount(SqliteStore::Connection& db, const std::map<std::string, Removed>& removed) {
  static const char* const kUncountSql =
      "UPDATE report_counts SET reports = reports - ?2, bytes = bytes - ?3 WHERE prog = ?1";
  static const char* const kDropSql = "DELETE FROM report_counts WHERE prog = ?1 AND reports <= 0";
  static const char* const kUntotalSql =
      "UPDATE report_totals SET reports = reports - ?1, bytes = bytes - ?2 WHERE id = 1";
  Removed total;
  for (const auto& [prog, gone] : removed) {
    db.Prepare(kUncountSql).Bind(1, prog).Bind(2, gone.reports).Bind(3, gone.bytes).Run();
    db.Prepare(kDropSql).Bind(1, prog).Run();
    total.reports += gone.reports;
    total.bytes += gone.bytes;
  }
  if (total.reports > 0) db.Prepare(kUntotalSql).Bind(1, total.reports).Bind(2, total.bytes).Run();
}

void Trim(SqliteStore::Connection& db, const Retention& retention) {
  static const std::string kDeleteOldSql =
      std::string("DELETE FROM error_reports WHERE time < ?1 RETURNING prog, ") + kReportSizeSql;
  static const std::string kOldestSql =
      std::string("SELECT id, ") + kReportSizeSql + " FROM error_reports ORDER BY id";
  static const std::string kDeleteUpToSql =
      std::string("DELETE FROM error_reports WHERE id <= ?1 RETURNING prog, ") + kReportSizeSql;

  std::map<std::string, Removed> removed;
  auto collect = [&](SqliteStore::Connection::Query& query) {
    while (query.Step()) {
      Removed& gone = removed[query.Text(0)];
      gone.reports += 1;
      gone.bytes += query.Number(1);
    }
  };
  if (!retention.keepSince.empty()) {
    auto query = db.Prepare(kDeleteOldSql.c_str());
    query.Bind(1, retention.keepSince);
    collect(query);
    Uncount(db, removed);
    removed.clear();
  }
  if (retention.maxBytes <= 0) return;
  std::int64_t excess = 0;
  {
    auto total = db.Prepare(kTotalBytesSql);
    if (total.Step()) excess = total.Number(0) - retention.maxBytes;
  }
  if (excess <= 0) return;
  std::int64_t lastId = 0;
  {
    auto oldest = db.Prepare(kOldestSql.c_str());
    while (excess > 0 && oldest.Step()) {
      lastId = oldest.Number(0);
      excess -= oldest.Number(1);
    }
  }
  auto query = db.Prepare(kDeleteUpToSql.c_str());
  query.Bind(1, lastId);
  collect(query);
  Uncount(db, removed);
}

}  // namespace

void SqliteStore::AddErrorReport(const ErrorReport& report, const Retention& retention) {
  const auto bytes = static_cast<std::int64_t>(report.prog.size() + report.err.size());
  Write(true, [&](Connection& db) {
    db.Prepare(kAddReportSql).Bind(1, report.time).Bind(2, report.address).Bind(3, report.prog).Bind(4, report.err).Run();
    db.Prepare(kCountReportSql).Bind(1, report.prog).Bind(2, bytes).Run();
    db.Prepare(kAddTotalSql).Bind(1, bytes).Run();
    Trim(db, retention);
  });
}

void SqliteStore::TrimErrorReports(const Retention& retention) {
  Write(true, [&](Connection& db) { Trim(db, retention); });
}

std::vector<ErrorReport> SqliteStore::ErrorReports(std::size_t limit) const {
  const auto db = Read();
  auto query = db->Prepare(kReportsSql);
  query.Bind(1, static_cast<std::int64_t>(limit));
  std::vector<ErrorReport> reports;
  while (query.Step()) {
    reports.push_back({query.Number(0), query.Text(1), query.Text(2), query.Text(3), query.Text(4)});
  }
  std::reverse(reports.begin(), reports.end());
  return reports;
}

std::int64_t SqliteStore::CountErrorReports(std::string_view program) const {
  // "Name-1.4" and every other "Name-..." lie between "Name-" and "Name.", as '.'
  // follows '-': a range of the counts' key, not a scan.
  const std::string name(program);
  const auto db = Read();
  auto query = db->Prepare(kCountReportsSql);
  query.Bind(1, name).Bind(2, name + "-").Bind(3, name + ".");
  return query.Step() ? query.Number(0) : 0;
}

std::int64_t SqliteStore::ErrorReportBytes() const {
  const auto db = Read();
  auto query = db->Prepare(kTotalBytesSql);
  return query.Step() ? query.Number(0) : 0;
}

}  // namespace server
