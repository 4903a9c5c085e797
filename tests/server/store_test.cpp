#include <gtest/gtest.h>

#include "ServerTestSupport.h"
#include "Store.h"

using server::Store;
using server::Verdict;

namespace {

Verdict MakeVerdict(std::string digest, std::string address, std::string file, std::string verdict) {
  return {0, std::move(digest), std::move(address), std::move(file), "A user", std::move(verdict), "2026-12-05T00:00:00Z"};
}

}  // namespace

TEST(Store, OneVerdictPerAddressAndDigestTheLatestCounts) {
  server_test::TempFolder folder;
  Store store(folder.path() / "data.sqlite");
  store.RecordVerdict(MakeVerdict("AA", "127.0.0.1", "a.exe", "al"));
  store.RecordVerdict(MakeVerdict("AA", "127.0.0.2", "b.exe", "al"));
  store.RecordVerdict(MakeVerdict("AA", "127.0.0.1", "c.exe", "bl"));
  store.RecordVerdict(MakeVerdict("BB", "127.0.0.1", "d.exe", "al"));

  const auto verdicts = store.Verdicts("AA", 100);
  ASSERT_EQ(verdicts.size(), 2u);
  EXPECT_EQ(verdicts[0].address, "127.0.0.1");
  EXPECT_EQ(verdicts[0].fileName, "c.exe");
  EXPECT_EQ(verdicts[0].verdict, "bl");
  EXPECT_EQ(verdicts[1].address, "127.0.0.2");
  EXPECT_EQ(store.Verdicts("BB", 100).size(), 1u);
  EXPECT_TRUE(store.Verdicts("CC", 100).empty());
}

TEST(Store, ListsTheNewestVerdictsOldestFirst) {
  server_test::TempFolder folder;
  Store store(folder.path() / "data.sqlite");
  for (int i = 0; i < 5; ++i) {
    store.RecordVerdict(MakeVerdict("AA", "10.0.0." + std::to_string(i), "f" + std::to_string(i), "al"));
  }
  const auto verdicts = store.Verdicts("AA", 3);
  ASSERT_EQ(verdicts.size(), 3u);
  EXPECT_EQ(verdicts[0].fileName, "f2");
  EXPECT_EQ(verdicts[2].fileName, "f4");
}

TEST(Store, KeepsEverythingAcrossReopening) {
  server_test::TempFolder folder;
  {
    Store store(folder.path() / "data.sqlite");
    store.RecordVerdict(MakeVerdict("AA", "127.0.0.1", "a.exe", "al"));
    store.AddErrorReport({0, "2026-12-05T00:00:00Z", "127.0.0.1", "Runwarden-1.4", "line1\r\nline2"});
  }
  Store store(folder.path() / "data.sqlite");
  ASSERT_EQ(store.Verdicts("AA", 10).size(), 1u);
  const auto reports = store.ErrorReports(10);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].prog, "Runwarden-1.4");
  EXPECT_EQ(reports[0].err, "line1\r\nline2");
  EXPECT_EQ(reports[0].address, "127.0.0.1");
}

TEST(Store, CountsReportsOfAProgramWithOrWithoutVersion) {
  server_test::TempFolder folder;
  Store store(folder.path() / "data.sqlite");
  for (const char* prog : {"Runwarden-1.4", "Runwarden", "Runwarden-2.0", "RunwardenX-1.0", "Other-1.0"}) {
    store.AddErrorReport({0, "t", "a", prog, "e"});
  }
  EXPECT_EQ(store.CountErrorReports("Runwarden"), 3);
  EXPECT_EQ(store.CountErrorReports("Nothing"), 0);
}

TEST(Store, RefusesAFileItCannotOpen) {
  server_test::TempFolder folder;
  EXPECT_THROW(Store(folder.path() / "missing" / "data.sqlite"), server::StoreError);
}
