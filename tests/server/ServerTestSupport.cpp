#include "ServerTestSupport.h"

#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <regex>
#include <stdexcept>

namespace server_test {

TempFolder::TempFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "runwarden-server-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string RandomDigest() {
  static std::mt19937_64 generator(std::random_device{}());
  std::string digest;
  for (int i = 0; i < 32; ++i)
    digest += "0123456789ABCDEF"[generator() % 16];
  return digest;
}

std::string ClientPostBody(const std::string& prog, const std::string& err) {
  const std::string request = BuildPostRequest("/", prog, err);
  return request.substr(request.find("\r\n\r\n") + 4);
}

OpenConnection::OpenConnection(int port, const std::string& from)
    : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
  if (fd_ < 0)
    throw std::runtime_error("socket failed");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    ::close(fd_);
    throw std::runtime_error("cannot connect from " + from);
  }
}

OpenConnection::~OpenConnection() {
  if (fd_ >= 0)
    ::close(fd_);
}

bool OpenConnection::Send(std::string_view bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

Exchange OpenConnection::Receive(std::chrono::milliseconds wait, std::string_view bytes) {
  Exchange result;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  size_t sent = 0;
  char buffer[8192];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0)
      break;
    pollfd entry{fd_, static_cast<short>(POLLIN | (sent < bytes.size() ? POLLOUT : 0)), 0};
    if (::poll(&entry, 1, static_cast<int>(left)) <= 0)
      break;
    if (entry.revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t received = ::recv(fd_, buffer, sizeof buffer, 0);
      if (received <= 0) {
        result.closedByServer = true;
        break;
      }
      result.response.append(buffer, static_cast<size_t>(received));
    } else if (entry.revents & POLLOUT) {
      const ssize_t written = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      // When the peer stopped reading, go on collecting its answer.
      sent = written < 0 ? bytes.size() : sent + static_cast<size_t>(written);
    }
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

Exchange SendRaw(int port, std::string_view bytes, const std::string& from) {
  return OpenConnection(port, from).Receive(std::chrono::seconds(10), bytes);
}

int StatusCode(std::string_view response) {
  if (!response.starts_with("HTTP/1."))
    return -1;
  return std::atoi(std::string(response.substr(9, 3)).c_str());
}

std::string HeaderValue(std::string_view response, std::string_view name) {
  const std::string_view head = response.substr(0, response.find("\r\n\r\n"));
  const std::string wanted = "\r\n" + std::string(name) + ": ";
  const size_t at = head.find(wanted);
  if (at == std::string_view::npos)
    return {};
  const std::string_view rest = head.substr(at + wanted.size());
  return std::string(rest.substr(0, rest.find("\r\n")));
}

RunningServer::RunningServer(const std::filesystem::path& folder,
                             server::ServerLimits limits,
                             server::Policy policy) {
  std::filesystem::create_directories(folder / "updates");
  store_ = std::make_unique<server::SqliteStore>(folder / "runwarden.sqlite");
  handlers_ = std::make_unique<server::Handlers>(*store_, folder, policy);
  http_ = std::make_unique<server::HttpServer>(*handlers_, limits);
  port_ = http_->Bind("127.0.0.1", 0);
  if (port_ <= 0)
    throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] { http_->Run(); });
}

RunningServer::~RunningServer() {
  http_->Stop();
  thread_.join();
}

ChildProcess::ChildProcess(std::vector<std::string> command, long long fileSizeLimit) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<char*> argv;
  for (auto& argument : command)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    if (fileSizeLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  reader_ = std::thread([this, in = pipeEnds[0]] {
    char buffer[4096];
    for (ssize_t got; (got = ::read(in, buffer, sizeof buffer)) > 0;) {
      std::lock_guard lock(mutex_);
      output_.append(buffer, static_cast<size_t>(got));
    }
    ::close(in);
    outputEnded_ = true;
  });
}

ChildProcess::~ChildProcess() {
  if (!waited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  reader_.join();
}

std::string ChildProcess::WaitForOutput(const std::string& pattern,
                                        std::chrono::milliseconds limit) {
  const std::regex wanted(pattern);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const bool ended = outputEnded_;
    const std::string text = output();
    std::smatch match;
    if (std::regex_search(text, match, wanted))
      return match.size() > 1 ? match[1].str() : match[0].str();
    if (ended || std::chrono::steady_clock::now() > deadline)
      return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int ChildProcess::ListeningPort() {
  const std::string port = WaitForOutput("listening on 127\\.0\\.0\\.1:([0-9]+)");
  return port.empty() ? -1 : std::stoi(port);
}

std::string ChildProcess::output() const {
  std::lock_guard lock(mutex_);
  return output_;
}

void ChildProcess::Signal(int signal) {
  ::kill(pid_, signal);
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) != pid_) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      waited_ = true;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  waited_ = true;
  // What it wrote last is in the output once the pipe ends.
  for (int i = 0; i < 100 && !outputEnded_; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

SqliteLock::SqliteLock(const std::filesystem::path& file) {
  sqlite3_open(file.c_str(), &db_);
  sqlite3_exec(
      db_,
      "BEGIN EXCLUSIVE; INSERT INTO verdicts (digest, address, file_name, label, verdict, time)"
      " VALUES ('AA', '10.9.9.9', 'uncommitted.exe', 'x', 'bl', 't')",
      nullptr, nullptr, nullptr);
}

SqliteLock::~SqliteLock() {
  Release();
  sqlite3_close(db_);
}

void SqliteLock::Release() {
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace server_test
