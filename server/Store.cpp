#include "Store.h"

#include "PostgresStore.h"
#include "SqliteStore.h"

namespace server {

bool IsPostgresUrl(std::string_view database) {
  return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::unique_ptr<Store> OpenStore(const StoreOptions& options) {
  if (options.database.empty()) {
    return std::make_unique<SqliteStore>(options.dataFolder / "runwarden.sqlite", options.busyTimeout);
  }
  if (IsPostgresUrl(options.database)) return std::make_unique<PostgresStore>(options.database);
  throw StoreError("not a database this server knows: " + options.database);
}

}  // namespace server
