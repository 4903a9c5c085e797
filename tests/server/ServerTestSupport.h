// What the server's tests (and its benchmark) share: a scratch folder, loopback clients
// that send raw bytes (our program's own requests come from net/MakerService.h), the
// server in-process or as a child process, another connection's SQLite write lock.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "Handlers.h"
#include "HttpServer.h"
#include "SqliteStore.h"
#include "net/MakerService.h"

namespace server_test {

// A fresh folder under the temporary directory, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "runwarden-server-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// 32 random hexadecimal digits: a digest nobody has voted on yet.
inline std::string RandomDigest() {
  static std::mt19937_64 generator(std::random_device{}());
  std::string digest;
  for (int i = 0; i < 32; ++i)
    digest += "0123456789ABCDEF"[generator() % 16];
  return digest;
}

// The multipart body of the error report our program posts.
inline std::string ClientPostBody(const std::string& prog, const std::string& err) {
  const std::string request = BuildPostRequest("/", prog, err);
  return request.substr(request.find("\r\n\r\n") + 4);
}

struct Exchange {
  std::string response;         // every byte the server sent
  bool closedByServer = false;  // it hung up within the time limit
};

// A connection from `from` (any 127.x address) to 127.0.0.1:port, held by the test.
class OpenConnection {
 public:
  OpenConnection(int port, const std::string& from) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in local{}, remote{};
    local.sin_family = remote.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    remote.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
      ::close(fd_);
      throw std::runtime_error("cannot connect from " + from);
    }
  }
  ~OpenConnection() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  OpenConnection(OpenConnection&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

  bool Send(std::string_view bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Sends `bytes` while reading what arrives within `wait`; stops when the server closes
  // (it may answer and stop reading before an oversized request is out).
  Exchange Receive(std::chrono::milliseconds wait, std::string_view bytes = {}) {
    Exchange result;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    size_t sent = 0;
    char buffer[8192];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      pollfd entry{fd_, static_cast<short>(POLLIN | (sent < bytes.size() ? POLLOUT : 0)), 0};
      if (left <= 0 || ::poll(&entry, 1, static_cast<int>(left)) <= 0)
        return result;
      if (entry.revents & (POLLIN | POLLHUP | POLLERR)) {
        const ssize_t received = ::recv(fd_, buffer, sizeof buffer, 0);
        if (received <= 0) {
          result.closedByServer = true;
          return result;
        }
        result.response.append(buffer, static_cast<size_t>(received));
      } else if (entry.revents & POLLOUT) {
        const ssize_t written = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        // When the peer stopped reading, go on collecting its answer.
        sent = written < 0 ? bytes.size() : sent + static_cast<size_t>(written);
      }
    }
  }
  // Whether anything (data or the server's close) waits to be read.
  bool Answered() const {
    pollfd entry{fd_, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
  }
  void Reset() {  // a reset instead of an orderly close
    const linger abort{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_ = -1;
};

// Connects, sends the bytes and reads until the server closes, for at most 10 seconds.
inline Exchange SendRaw(int port, std::string_view bytes, const std::string& from = "127.0.0.1") {
  return OpenConnection(port, from).Receive(std::chrono::seconds(10), bytes);
}

// What our program keeps of a reply: after the first blank line, up to the next.
inline std::string ClientView(std::string_view response) {
  return CutReply(std::string(response));
}
inline int StatusCode(std::string_view response) {
  return response.starts_with("HTTP/1.") ? std::atoi(std::string(response.substr(9, 3)).c_str())
                                         : -1;
}
inline std::string HeaderValue(std::string_view response, std::string_view name) {
  const std::string_view head = response.substr(0, response.find("\r\n\r\n"));
  const std::string wanted = "\r\n" + std::string(name) + ": ";
  const size_t at = head.find(wanted);
  if (at == std::string_view::npos)
    return {};
  const std::string_view rest = head.substr(at + wanted.size());
  return std::string(rest.substr(0, rest.find("\r\n")));
}

// The server in-process on a free loopback port, with its data in `folder`.
class RunningServer {
 public:
  explicit RunningServer(const std::filesystem::path& folder,
                         server::ServerLimits limits = {},
                         server::Policy policy = {}) {
    std::filesystem::create_directories(folder / "updates");
    store_ = std::make_unique<server::SqliteStore>(folder / "runwarden.sqlite");
    handlers_ = std::make_unique<server::Handlers>(*store_, folder, policy);
    http_ = std::make_unique<server::HttpServer>(*handlers_, limits);
    port_ = http_->Bind("127.0.0.1", 0);
    if (port_ <= 0)
      throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { http_->Run(); });
  }
  ~RunningServer() {
    http_->Stop();
    thread_.join();
  }
  int port() const { return port_; }
  server::SqliteStore& store() { return *store_; }

 private:
  std::unique_ptr<server::SqliteStore> store_;
  std::unique_ptr<server::Handlers> handlers_;
  std::unique_ptr<server::HttpServer> http_;
  std::thread thread_;
  int port_ = -1;
};

// A program (runwarden-server) as a child process. A thread collects its output (stdout
// and stderr together), so a server whose log nobody reads is never held up.
class ChildProcess {
 public:
  // `fileSizeLimit` (bytes): the largest file the child may write, as a full disk would
  // have it; negative for none.
  explicit ChildProcess(std::vector<std::string> command, long long fileSizeLimit = -1) {
    int ends[2];
    if (::pipe(ends) != 0)
      throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    for (auto& argument : command)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
      if (fileSizeLimit >= 0)
        ::setrlimit(RLIMIT_FSIZE, &limit);
      ::dup2(ends[1], STDOUT_FILENO);
      ::dup2(ends[1], STDERR_FILENO);
      ::close(ends[0]);
      ::close(ends[1]);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(ends[1]);
    reader_ = std::thread([this, in = ends[0]] {
      char buffer[4096];
      for (ssize_t got; (got = ::read(in, buffer, sizeof buffer)) > 0;) {
        std::lock_guard lock(mutex_);
        output_.append(buffer, static_cast<size_t>(got));
      }
      ::close(in);
      outputEnded_ = true;
    });
  }
  ~ChildProcess() {  // kills the child if it still runs
    if (!waited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    reader_.join();
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The first group of `pattern` once the output matches it; "" if the child ends or
  // `limit` passes first.
  std::string WaitForOutput(const std::string& pattern,
                            std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const std::regex wanted(pattern);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
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
  // The port it names in "listening on 127.0.0.1:PORT"; -1 when it never does.
  int ListeningPort() {
    const std::string port = WaitForOutput("listening on 127\\.0\\.0\\.1:([0-9]+)");
    return port.empty() ? -1 : std::stoi(port);
  }
  std::string output() const {
    std::lock_guard lock(mutex_);
    return output_;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  // The exit status (128 + the signal that ended it) once the child ends; after the
  // limit -1, and the child is killed.
  int Wait(std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    waited_ = true;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // What it wrote last is in the output once the pipe ends.
    for (int i = 0; i < 100 && !outputEnded_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  bool waited_ = false;
  std::atomic<bool> outputEnded_ = false;
  mutable std::mutex mutex_;
  std::string output_;
  std::thread reader_;
};

// Another program's write transaction on a SQLite file, holding the write lock until
// Release: it has written a verdict of "AA" from 10.9.9.9 for "uncommitted.exe".
class SqliteLock {
 public:
  explicit SqliteLock(const std::filesystem::path& file) {
    sqlite3_open(file.c_str(), &db_);
    sqlite3_exec(
        db_,
        "BEGIN EXCLUSIVE; INSERT INTO verdicts (digest, address, file_name, label, verdict, time)"
        " VALUES ('AA', '10.9.9.9', 'uncommitted.exe', 'x', 'bl', 't')",
        nullptr, nullptr, nullptr);
  }
  ~SqliteLock() {
    Release();
    sqlite3_close(db_);
  }
  void Release() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace server_test
