#include "ServerTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <pqxx/pqxx>
#include <random>
#include <stdexcept>

namespace server_test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "runwarden-server-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ClientGet(std::string_view path) {
  return "GET " + std::string(path) +
         " HTTP/1.0\r\n"
         "Accept: */*\r\n"
         "Accept-Language: En-us\r\n"
         "User-Agent: Mozilla/4.0\r\n"
         "Host: 127.0.0.1\r\n"
         "Connection: Close\r\n"
         "\r\n";
}

std::string ClientPostBody(std::string_view prog, std::string_view err) {
  const std::string boundary = "--98971212161631\r\n";
  return boundary +
         "Content-Disposition: form-data;name=\"prog\"\r\n"
         "Content-Type: text/html\r\n"
         "\r\n" +
         std::string(prog) + "\r\n" + boundary + boundary +
         "Content-Disposition: form-data;name=\"err\"\r\n"
         "Content-Type: text/html\r\n"
         "\r\n" +
         std::string(err) + "\r\n" + boundary;
}

std::string ClientPost(std::string_view path, std::string_view prog, std::string_view err) {
  const std::string body = ClientPostBody(prog, err);
  return "POST " + std::string(path) +
         " HTTP/1.1\r\n"
         "Accept: */*\r\n"
         "Accept-Language: En-us\r\n"
         "User-Agent: Mozilla/4.0\r\n"
         "Host: 127.0.0.1\r\n"
         "Content-Type: multipart/form-data, boundary=98971212161631\r\n"
         "Content-Length: " +
         std::to_string(body.size()) +
         "\r\n"
         "Connection: Close\r\n"
         "\r\n" +
         body;
}

namespace {

int Connect(int port, const std::string& from) {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) throw std::runtime_error("socket failed");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  if (::bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(sock, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    ::close(sock);
    throw std::runtime_error("cannot connect from " + from);
  }
  return sock;
}

}  // namespace

Exchange SendRaw(int port, std::string_view bytes, const std::string& from) {
  Exchange result;
  const int sock = Connect(port, from);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  auto millisLeft = [&] {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
               .count()));
  };
  // Send and read together: a server may answer (and stop reading) before an
  // oversized request is all out.
  size_t sent = 0;
  char buffer[8192];
  while (millisLeft() > 0) {
    pollfd entry{sock, static_cast<short>(POLLIN | (sent < bytes.size() ? POLLOUT : 0)), 0};
    if (::poll(&entry, 1, millisLeft()) <= 0) break;
    if (entry.revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t received = ::recv(sock, buffer, sizeof buffer, 0);
      if (received == 0) {
        result.closedByServer = true;
        break;
      }
      if (received < 0) break;
      result.response.append(buffer, static_cast<size_t>(received));
      continue;
    }
    if (entry.revents & POLLOUT) {
      const ssize_t written = ::send(sock, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (written < 0) {
        sent = bytes.size();  // the peer stopped reading; go on collecting its answer
        continue;
      }
      sent += static_cast<size_t>(written);
    }
  }
  ::close(sock);
  return result;
}

std::string ClientView(std::string_view response) {
  const size_t head = response.find("\r\n\r\n");
  if (head == std::string_view::npos) return std::string(response);
  const std::string_view rest = response.substr(head + 4);
  return std::string(rest.substr(0, rest.find("\r\n\r\n")));
}

int StatusCode(std::string_view response) {
  if (!response.starts_with("HTTP/1.")) return -1;
  return std::atoi(std::string(response.substr(9, 3)).c_str());
}

std::string HeaderValue(std::string_view response, std::string_view name) {
  const std::string_view head = response.substr(0, response.find("\r\n\r\n"));
  const std::string wanted = "\r\n" + std::string(name) + ": ";
  const size_t at = head.find(wanted);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = head.substr(at + wanted.size());
  return std::string(rest.substr(0, rest.find("\r\n")));
}

OpenConnection::OpenConnection(int port, const std::string& from) : fd_(Connect(port, from)) {}

OpenConnection::~OpenConnection() {
  if (fd_ >= 0) ::close(fd_);
}

OpenConnection::OpenConnection(OpenConnection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

bool OpenConnection::Send(std::string_view bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

Exchange OpenConnection::Receive(std::chrono::milliseconds wait) {
  Exchange result;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  char buffer[8192];
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t received = ::recv(fd_, buffer, sizeof buffer, 0);
    if (received <= 0) {
      result.closedByServer = true;
      break;
    }
    result.response.append(buffer, static_cast<size_t>(received));
  }
  return result;
}

bool OpenConnection::Answered() const {
  pollfd entry{fd_, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0;
}

void OpenConnection::Reset() {
  const linger abort{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(fd_);
  fd_ = -1;
}

int ListenBacklog(int port) {
  // For a listening socket, ss shows the queue limit in its Send-Q column.
  const std::string command = "ss -Hltn 'sport = :" + std::to_string(port) + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char line[512] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  ::pclose(pipe);
  if (!read) return -1;
  char state[32] = {};
  int received = 0;
  int backlog = -1;
  if (std::sscanf(line, "%31s %d %d", state, &received, &backlog) != 3) return -1;
  return backlog;
}

RunningServer::RunningServer(const std::filesystem::path& folder, server::ServerLimits limits,
                             server::Policy policy) {
  std::filesystem::create_directories(folder / "updates");
  store_ = std::make_unique<server::SqliteStore>(folder / "runwarden.sqlite");
  auto logger = [this](const std::string& line) {
    std::lock_guard lock(logMutex_);
    log_.push_back(line);
  };
  handlers_ = std::make_unique<server::Handlers>(
      *store_, folder, policy, [] { return std::chrono::system_clock::now(); }, logger);
  http_ = std::make_unique<server::HttpServer>(*handlers_, limits, logger);
  port_ = http_->Bind("127.0.0.1", 0);
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] { http_->Run(); });
}

RunningServer::~RunningServer() {
  http_->Stop();
  thread_.join();
}

std::vector<std::string> RunningServer::log() const {
  std::lock_guard lock(logMutex_);
  return log_;
}

std::string PostgresServer() {
  const char* url = std::getenv("RUNWARDEN_TEST_POSTGRES");
  return url ? url : "";
}

PostgresSchema::PostgresSchema() {
  const std::string server = PostgresServer();
  if (server.empty()) throw std::runtime_error("no PostgreSQL server given");
  std::random_device random;
  name_ = "test_" + std::to_string(random()) + std::to_string(random());
  pqxx::connection connection(server);
  pqxx::nontransaction(connection).exec("CREATE SCHEMA " + name_);
  url_ = server + (server.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + name_;
}

PostgresSchema::~PostgresSchema() {
  try {
    pqxx::connection connection(PostgresServer());
    pqxx::nontransaction(connection).exec("DROP SCHEMA " + name_ + " CASCADE");
  } catch (const std::exception&) {
  }
}

}  // namespace server_test
