#include "CommandLine.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>
#include <optional>

#include "ClientAddress.h"
#include "Store.h"

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

// A whole number from 0 to `most`.
std::optional<long long> ParseCount(const std::string& text, long long most) {
  long long value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 || value > most) {
    return std::nullopt;
  }
  return value;
}

CommandLine UsageError(std::string message) {
  CommandLine result;
  result.action = CommandLine::Action::kUsageError;
  result.error = std::move(message);
  return result;
}

constexpr const char* kOptionsWithValue[] = {
    "--listen",          "--data",         "--database",    "--trusted-proxy", "--connections-per-address",
    "--votes-per-hour", "--reports-per-hour", "--report-days", "--report-megabytes",
};

}  // namespace

std::string UsageText() {
  return "Usage: runwarden-server [--listen ADDRESS:PORT] [--data DIR] [OPTION]...\n"
         "\n"
         "The community web service for Runwarden: file verdicts (/~vantor/filecheck.php),\n"
         "error reports (/~vantor/progerr.php) and the update list (/~vantor/updates/updates.ini).\n"
         "\n"
         "  --listen ADDRESS:PORT  dotted IPv4 address and port to serve on (default 127.0.0.1:8080;\n"
         "                         port 0 picks a free port and prints it)\n"
         "  --data DIR             data folder, created when missing (default ./runwarden-data);\n"
         "                         it holds runwarden.sqlite and updates/updates.ini\n"
         "  --database URL         keep the data in PostgreSQL instead, for example\n"
         "                         postgresql://runwarden@db.example/runwarden; several servers\n"
         "                         can share one database (the update list stays in DIR)\n"
         "  --trusted-proxy ADDRESS  a reverse proxy in front of this server: for requests from\n"
         "                         it the client is the last address of X-Forwarded-For\n"
         "                         (may be given more than once)\n"
         "  --connections-per-address N  open connections one address may hold (default 16;\n"
         "                         0: no limit)\n"
         "  --votes-per-hour N     ratings one address may send per hour (default 60; 0: no limit)\n"
         "  --reports-per-hour N   error reports one address may send per hour (default 20;\n"
         "                         0: no limit)\n"
         "  --report-days N        error reports are kept this many days (default 90; 0: for ever)\n"
         "  --report-megabytes N   and take up at most this much, the oldest go first\n"
         "                         (default 256; 0: no cap)\n"
         "  --help                 show this text\n"
         "\n"
         "Stops cleanly on SIGTERM or SIGINT.\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  ServerOptions& options = result.options;
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
    if (std::find(std::begin(kOptionsWithValue), std::end(kOptionsWithValue), name) == std::end(kOptionsWithValue)) {
      return UsageError("unknown argument: " + arguments[i]);
    }
    if (!value) {
      if (i + 1 == arguments.size()) return UsageError(name + " needs a value");
      value = arguments[++i];
    }
    if (name == "--listen") {
      if (!ParseListen(*value, options)) {
        return UsageError("--listen wants a dotted IPv4 address and a port, such as 127.0.0.1:8080");
      }
    } else if (name == "--data") {
      if (value->empty()) return UsageError("--data needs a folder");
      options.dataFolder = *value;
    } else if (name == "--database") {
      if (!IsPostgresUrl(*value)) return UsageError("--database wants a postgresql:// URL");
      options.database = *value;
    } else if (name == "--trusted-proxy") {
      const auto address = CanonicalAddress(*value);
      if (!address) return UsageError("--trusted-proxy wants an IP address, such as 127.0.0.1");
      options.trustedProxies.push_back(*address);
    } else {
      const long long most = name == "--report-megabytes" ? 1024 * 1024
                             : name == "--report-days"    ? 36500
                                                          : std::numeric_limits<int>::max();
      const auto count = ParseCount(*value, most);
      if (!count) return UsageError(name + " wants a whole number from 0 to " + std::to_string(most));
      if (name == "--connections-per-address") options.connectionsPerAddress = static_cast<size_t>(*count);
      if (name == "--votes-per-hour") options.policy.votesPerHour = static_cast<int>(*count);
      if (name == "--reports-per-hour") options.policy.reportsPerHour = static_cast<int>(*count);
      if (name == "--report-days") options.policy.reportDays = static_cast<int>(*count);
      if (name == "--report-megabytes") options.policy.reportBytes = *count * 1024 * 1024;
    }
  }
  return result;
}

}  // namespace server
