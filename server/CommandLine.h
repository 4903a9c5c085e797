#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Handlers.h"

namespace server {

struct ServerOptions {
  std::string address = "127.0.0.1";
  int port = 8080;
  std::string dataFolder = "./runwarden-data";
  std::string database;                     // empty: SQLite in the data folder
  std::vector<std::string> trustedProxies;  // in their usual text
  std::size_t connectionsPerAddress = 16;
  Policy policy;
};

struct CommandLine {
  enum class Action { kServe, kHelp, kUsageError };
  Action action = Action::kServe;
  ServerOptions options;
  std::string error;  // for kUsageError
};

// runwarden-server [--listen ADDRESS:PORT] [--data DIR] [OPTION]...; "--opt=value" works too.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();

}  // namespace server
