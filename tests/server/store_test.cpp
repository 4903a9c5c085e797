// The stores: every case runs against SQLite and against PostgreSQL (the latter
// under tests/server/with_postgres.sh, which starts a throwaway cluster).
#include <sqlite3.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <pqxx/pqxx>
#include <random>
#include <thread>

#include "PostgresStore.h"
#include "ServerTestSupport.h"
#include "SqliteStore.h"
#include "Store.h"

using server::ErrorReport;
using server::Retention;
using server::Store;
using server::StoreError;
using server::Verdict;

namespace {

using namespace std::chrono_literals;

enum class Kind { kSqlite, kPostgres };

Verdict MakeVerdict(std::string digest,
                    std::string address,
                    std::string file,
                    std::string verdict) {
  return {0,        std::move(digest),  std::move(address),    std::move(file),
          "A user", std::move(verdict), "2026-12-05T00:00:00Z"};
}

ErrorReport MakeReport(std::string time, std::string prog, std::string err) {
  return {0, std::move(time), "127.0.0.1", std::move(prog), std::move(err)};
}

// The PostgreSQL server that with_postgres.sh started, as a libpq URL; empty without one.
std::string PostgresServer() {
  const char* url = std::getenv("RUNWARDEN_TEST_POSTGRES");
  return url ? url : "";
}

// A schema of its own in that database, dropped afterwards: its URL makes it the place
// where a store creates its tables.
class PostgresSchema {
 public:
  PostgresSchema() : name_("test_" + std::to_string(std::random_device{}())) {
    pqxx::connection connection(PostgresServer());
    pqxx::nontransaction(connection).exec("CREATE SCHEMA " + name_);
    const char* join = PostgresServer().find('?') == std::string::npos ? "?" : "&";
    url_ = PostgresServer() + join + "options=-csearch_path%3D" + name_;
  }
  ~PostgresSchema() {
    pqxx::connection connection(PostgresServer());
    pqxx::nontransaction(connection).exec("DROP SCHEMA " + name_ + " CASCADE");
  }
  const std::string& url() const { return url_; }

 private:
  std::string name_, url_;
};

// Another session's open write transaction on the PostgreSQL schema, holding its locks.
class PostgresLock {
 public:
  explicit PostgresLock(const std::string& url) : url_(url), connection_(url), tx_(connection_) {
    tx_.exec(
        "UPDATE verdicts SET file_name = 'uncommitted.exe' WHERE digest = 'AA' AND address = "
        "'127.0.0.1'");
    tx_.exec("UPDATE report_totals SET reports = reports WHERE id = 1");
  }
  void Release() { tx_.abort(); }
  // True once another session waits for a lock that this one holds.
  bool SomeoneWaits() {
    pqxx::connection other(url_);
    return pqxx::nontransaction(other)
               .exec("SELECT count(*) FROM pg_locks WHERE NOT granted")[0][0]
               .as<int>() > 0;
  }

 private:
  std::string url_;
  pqxx::connection connection_;
  pqxx::work tx_;
};

class StoreTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (GetParam() == Kind::kPostgres) {
      if (PostgresServer().empty())
        GTEST_SKIP() << "no PostgreSQL server given";
      schema_ = std::make_unique<PostgresSchema>();
    }
    store_ = Open();
  }

  std::unique_ptr<Store> Open(std::chrono::milliseconds busyTimeout = 1000ms) {
    if (GetParam() == Kind::kSqlite)
      return std::make_unique<server::SqliteStore>(file(), busyTimeout);
    return std::make_unique<server::PostgresStore>(schema_->url());
  }

  std::filesystem::path file() const { return folder_.path() / "data.sqlite"; }

  server_test::TempFolder folder_;
  std::unique_ptr<PostgresSchema> schema_;
  std::unique_ptr<Store> store_;
};

std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
  return info.param == Kind::kSqlite ? "Sqlite" : "Postgres";
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, StoreTest, ::testing::Values(Kind::kSqlite), KindName);
INSTANTIATE_TEST_SUITE_P(Postgres, StoreTest, ::testing::Values(Kind::kPostgres), KindName);

TEST_P(StoreTest, OneVerdictPerAddressAndDigestTheLatestCounts) {
  store_->RecordVerdict(MakeVerdict("AA", "127.0.0.1", "a.exe", "al"));
  store_->RecordVerdict(MakeVerdict("AA", "127.0.0.2", "b.exe", "al"));
  store_->RecordVerdict(MakeVerdict("AA", "127.0.0.1", "c.exe", "bl"));
  store_->RecordVerdict(MakeVerdict("BB", "127.0.0.1", "d.exe", "al"));

  const auto verdicts = store_->Verdicts("AA", 100);
  ASSERT_EQ(verdicts.size(), 2u);
  EXPECT_EQ(verdicts[0].address, "127.0.0.1");
  EXPECT_EQ(verdicts[0].fileName, "c.exe");
  EXPECT_EQ(verdicts[0].verdict, "bl");
  EXPECT_EQ(verdicts[1].address, "127.0.0.2");
  EXPECT_LT(verdicts[0].id, verdicts[1].id);
  // The newest within the limit, oldest first.
  EXPECT_EQ(store_->Verdicts("AA", 1).at(0).fileName, "b.exe");
  EXPECT_EQ(store_->Verdicts("BB", 100).size(), 1u);
  EXPECT_TRUE(store_->Verdicts("CC", 100).empty());
  // Verdicts without an address would all share one slot, whoever sent them.
  EXPECT_THROW(store_->RecordVerdict(MakeVerdict("CC", "", "a.exe", "al")), StoreError);
  EXPECT_TRUE(store_->Verdicts("CC", 10).empty());
}

TEST_P(StoreTest, ManyWritersOfOneAddressStillLeaveOneVerdict) {
  std::vector<std::thread> writers;
  for (int thread = 0; thread < 6; ++thread) {
    writers.emplace_back([this, thread] {
      for (int i = 0; i < 40; ++i) {
        store_->RecordVerdict(
            MakeVerdict("AA", "127.0.0.1", "t" + std::to_string(thread), i % 2 ? "al" : "bl"));
        store_->RecordVerdict(MakeVerdict(
            "AA", "10.0." + std::to_string(thread) + "." + std::to_string(i % 5), "f.exe", "al"));
      }
    });
  }
  for (auto& writer : writers)
    writer.join();
  EXPECT_EQ(store_->Verdicts("AA", 1000).size(), 1u + 6 * 5);
}

// Our program sends its ANSI code page, not UTF-8, and an error text may hold anything. A
// program's reports are counted with or without its version.
TEST_P(StoreTest, KeepsEveryByteAcrossReopeningAndCountsReportsOfAProgram) {
  const std::string name = "caf\xE9 \x80\xFF.exe";
  const std::string err = std::string("a\0b\xC3(", 5) + "\r\n";
  store_->RecordVerdict(MakeVerdict("AA", "127.0.0.1", name, "al"));
  store_->AddErrorReport(MakeReport("t", "Runwarden-1.4", err), {});
  store_ = Open();
  EXPECT_EQ(store_->Verdicts("AA", 1).at(0).fileName, name);
  const auto reports = store_->ErrorReports(10);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].prog + "|" + reports[0].err + "|" + reports[0].address,
            "Runwarden-1.4|" + err + "|127.0.0.1");
  for (const char* prog : {"Runwarden", "Runwarden-2.0", "Runwarden-", "RunwardenX-1.0",
                           "Runwarden.1", "Other-1.0", "Runwarden-1.4"}) {
    store_->AddErrorReport(MakeReport("t", prog, "e"), {});
  }
  EXPECT_EQ(store_->CountErrorReports("Runwarden"), 5);
  EXPECT_EQ(store_->CountErrorReports("Other"), 1);
  EXPECT_EQ(store_->CountErrorReports("Nothing"), 0);
}

TEST_P(StoreTest, ErrorReportsAreKeptForABoundedTimeAndSize) {
  auto add = [&](const char* time, const char* prog, char fill, Retention retention = {}) {
    store_->AddErrorReport(MakeReport(time, prog, std::string(100, fill)), retention);
  };
  auto kept = [&] {
    std::string fills;
    for (const auto& report : store_->ErrorReports(10))
      fills += report.err[0];
    return fills + " " + std::to_string(store_->CountErrorReports("Runwarden")) + " " +
           std::to_string(store_->ErrorReportBytes());
  };
  add("2026-01-01T00:00:00Z", "Runwarden-1.0", 'a');
  add("2026-02-01T00:00:00Z", "Runwarden-1.0", 'b');
  add("2026-03-01T00:00:00Z", "Other-1.0", 'c');
  EXPECT_EQ(kept(), "abc 2 " + std::to_string(3 * (100 + 13) - 4));
  // Past their age: the January report goes when a new one comes in.
  add("2026-04-01T00:00:00Z", "Runwarden-1.1", 'd', {"2026-01-15T00:00:00Z", 0});
  EXPECT_EQ(kept(), "bcd 2 " + std::to_string(3 * (100 + 13) - 4));
  // Over the cap: the oldest go until the rest fit.
  store_->TrimErrorReports({"", 250});
  EXPECT_EQ(kept(), "cd 1 " + std::to_string((100 + 9) + (100 + 13)));
  EXPECT_EQ(store_->CountErrorReports("Other"), 1);
  // Nothing old and nothing over: nothing goes.
  store_->TrimErrorReports({"2026-01-15T00:00:00Z", 1000});
  EXPECT_EQ(kept(), "cd 1 222");
  store_->TrimErrorReports({"2027-01-01T00:00:00Z", 0});
  EXPECT_EQ(kept(), " 0 0");
}

TEST_P(StoreTest, ReadsDoNotWaitForAWrite) {
  store_ = Open(10s);  // the write below waits for the lock rather than fail
  store_->RecordVerdict(MakeVerdict("AA", "127.0.0.1", "committed.exe", "al"));
  std::unique_ptr<server_test::SqliteLock> sqlite;
  std::unique_ptr<PostgresLock> postgres;
  if (GetParam() == Kind::kSqlite) {
    sqlite = std::make_unique<server_test::SqliteLock>(file());
  } else {
    postgres = std::make_unique<PostgresLock>(schema_->url());
  }

  std::atomic<bool> written = false;
  std::string failure;
  std::thread write([&] {
    try {
      store_->RecordVerdict(MakeVerdict("AA", "127.0.0.1", "waited.exe", "bl"));
      written = true;
    } catch (const StoreError& error) {
      failure = error.what();
    }
  });
  // Until the write is stuck behind the lock; SQLite's waiting cannot be seen from
  // outside, 300 ms are ample for it to start.
  if (postgres) {
    for (int i = 0; i < 500 && !postgres->SomeoneWaits(); ++i)
      std::this_thread::sleep_for(10ms);
  } else {
    std::this_thread::sleep_for(300ms);
  }

  // The read returns while the write still waits, and sees the last commit only.
  const auto verdicts = store_->Verdicts("AA", 10);
  EXPECT_FALSE(written);
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_EQ(verdicts[0].fileName, "committed.exe");

  sqlite ? sqlite->Release() : postgres->Release();
  write.join();
  EXPECT_TRUE(written) << failure;
  const auto after = store_->Verdicts("AA", 10);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].fileName, "waited.exe");
}

// SQLite alone.

namespace {

// The given column of every row a statement gives, one line each.
std::string Rows(const std::filesystem::path& file, const std::string& sql, int column = 0) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
  std::string rows;
  while (sqlite3_step(stmt) == SQLITE_ROW)
    rows += reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)) + std::string("\n");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::string QueryPlan(const std::filesystem::path& file, const char* sql) {
  return Rows(file, std::string("EXPLAIN QUERY PLAN ") + sql, 3);
}

}  // namespace

// The lookup and the report count come from indexes; readers never wait for a write ahead of
// the log, and the log stays bounded: writes as fast as they come, some 45,000 pages of log,
// would make some 200 MB without checkpoints.
TEST(SqliteStore, IndexedLookupsAndABoundedWriteAheadLog) {
  server_test::TempFolder folder;
  const auto file = folder.path() / "data.sqlite";
  server::SqliteStore store(file);
  // The newest verdicts of a digest straight from an index, without sorting them all.
  const std::string lookup = QueryPlan(file, server::SqliteStore::kVerdictsSql);
  EXPECT_NE(lookup.find("USING INDEX verdicts_by_digest (digest=?)"), std::string::npos) << lookup;
  EXPECT_EQ(lookup.find("TEMP B-TREE"), std::string::npos) << lookup;
  EXPECT_EQ(lookup.find("SCAN verdicts"), std::string::npos) << lookup;
  // The count from the counts' key, not from the reports.
  const std::string count = QueryPlan(file, server::SqliteStore::kCountReportsSql);
  EXPECT_EQ(count.find("error_reports"), std::string::npos) << count;
  EXPECT_NE(count.find("SEARCH report_counts USING INDEX"), std::string::npos) << count;

  EXPECT_EQ(Rows(file, "PRAGMA journal_mode"), "wal\n");
  for (int i = 0; i < 15000; ++i)
    store.RecordVerdict(MakeVerdict(std::to_string(i), "127.0.0.1", "f.exe", "al"));
  EXPECT_LT(std::filesystem::file_size(file.string() + "-wal"), 100u * 1024 * 1024);
}

TEST(SqliteStore, CountsTheReportsOfADatabaseFromBeforeTheCountsAndRefusesNoFile) {
  server_test::TempFolder folder;
  const auto file = folder.path() / "data.sqlite";
  {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE verdicts (id INTEGER PRIMARY KEY, digest TEXT NOT NULL, address"
                 " TEXT NOT NULL, file_name TEXT NOT NULL, label TEXT NOT NULL, verdict TEXT NOT"
                 " NULL, time TEXT NOT NULL, UNIQUE (digest, address));"
                 "CREATE TABLE error_reports (id INTEGER PRIMARY KEY, time TEXT NOT NULL, address"
                 " TEXT NOT NULL, prog TEXT NOT NULL, err TEXT NOT NULL);"
                 "INSERT INTO verdicts VALUES (1, 'AA', '127.0.0.1', 'a.exe', 'A user', 'al', 't');"
                 "INSERT INTO error_reports VALUES (1, 't', 'a', 'Runwarden-1.4', 'abc'),"
                 " (2, 't', 'a', 'Runwarden', 'de');",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  server::SqliteStore store(file);
  EXPECT_THROW(server::SqliteStore(folder.path() / "missing" / "data.sqlite"), StoreError);
  EXPECT_EQ(store.Verdicts("AA", 10).size(), 1u);
  EXPECT_EQ(store.CountErrorReports("Runwarden"), 2);
  EXPECT_EQ(store.ErrorReportBytes(), 13 + 3 + 9 + 2);
  store.AddErrorReport(MakeReport("t", "Runwarden-1.5", "f"), {});
  EXPECT_EQ(store.CountErrorReports("Runwarden"), 3);
}

// PostgreSQL alone.

// One it cannot reach is the binary's test.
TEST(PostgresStore, RefusesADatabaseItCannotWrite) {
  if (PostgresServer().empty())
    GTEST_SKIP() << "no PostgreSQL server given";
  const std::string server = PostgresServer();
  try {
    server::PostgresStore store(server + (server.find('?') == std::string::npos ? "?" : "&") +
                                "options=-cdefault_transaction_read_only%3Don");
    ADD_FAILURE() << "a read-only database was taken";
  } catch (const StoreError& failure) {
    EXPECT_NE(std::string(failure.what()).find("read-only"), std::string::npos) << failure.what();
  }
}
