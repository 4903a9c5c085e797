#include "CommandLine.h"

#include <arpa/inet.h>

#include <charconv>
#include <optional>

namespace server {
namespace {

bool ParseListen(const std::string& text, ServerOptions& options) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string address = text.substr(0, colon);
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  const std::string portText = text.substr(colon + 1);
  int port = -1;
  const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() || port < 0 ||
      port > 65535) {
    return false;
  }
  options.address = address;
  options.port = port;
  return true;
}

CommandLine UsageError(std::string message) {
  CommandLine result;
  result.action = CommandLine::Action::kUsageError;
  result.error = std::move(message);
  return result;
}

}  // namespace

std::string UsageText() {
  return "Usage: runwarden-server [--listen ADDRESS:PORT] [--data DIR]\n"
         "\n"
         "The community web service for Runwarden: file verdicts (/~vantor/filecheck.php),\n"
         "error reports (/~vantor/progerr.php) and the update list (/~vantor/updates/updates.ini).\n"
         "\n"
         "  --listen ADDRESS:PORT  dotted IPv4 address and port to serve on (default 127.0.0.1:8080;\n"
         "                         port 0 picks a free port and prints it)\n"
         "  --data DIR             data folder, created when missing (default ./runwarden-data);\n"
         "                         it holds runwarden.sqlite and updates/updates.ini\n"
         "  --help                 show this text\n"
         "\n"
         "Stops cleanly on SIGTERM or SIGINT.\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (const size_t equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "--help" || name == "-h") {
      if (value) return UsageError("--help takes no value");
      result.action = CommandLine::Action::kHelp;
      continue;
    }
    if (name != "--listen" && name != "--data") return UsageError("unknown argument: " + arguments[i]);
    if (!value) {
      if (i + 1 == arguments.size()) return UsageError(name + " needs a value");
      value = arguments[++i];
    }
    if (name == "--listen" && !ParseListen(*value, result.options)) {
      return UsageError("--listen wants a dotted IPv4 address and a port, such as 127.0.0.1:8080");
    }
    if (name == "--data") {
      if (value->empty()) return UsageError("--data needs a folder");
      result.options.dataFolder = *value;
    }
  }
  return result;
}

}  // namespace server
