#pragma once

#include <string>
#include <vector>

namespace server {

struct ServerOptions {
  std::string address = "127.0.0.1";
  int port = 8080;
  std::string dataFolder = "./runwarden-data";
};

struct CommandLine {
  enum class Action { kServe, kHelp, kUsageError };
  Action action = Action::kServe;
  ServerOptions options;
  std::string error;  // for kUsageError
};

// runwarden-server [--listen ADDRESS:PORT] [--data DIR]; "--opt=value" works too.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();

}  // namespace server
