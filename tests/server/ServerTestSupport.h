// What the server's tests (and its benchmark) share: a scratch folder, loopback clients
// that send raw bytes (our program's own requests come from net/MakerService.h), the
// server in-process or as a child process, another connection's SQLite write lock.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "Handlers.h"
#include "HttpServer.h"
#include "SqliteStore.h"
#include "net/MakerService.h"

struct sqlite3;

namespace server_test {

// A fresh folder under the temporary directory, removed afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// 32 random hexadecimal digits: a digest nobody has voted on yet.
std::string RandomDigest();

// The multipart body of the error report our program posts.
std::string ClientPostBody(const std::string& prog, const std::string& err);

struct Exchange {
  std::string response;         // every byte the server sent
  bool closedByServer = false;  // it hung up within the time limit
};

// A connection from `from` (any 127.x address) to 127.0.0.1:port, held by the test.
class OpenConnection {
 public:
  OpenConnection(int port, const std::string& from);
  ~OpenConnection();
  OpenConnection(OpenConnection&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

  bool Send(std::string_view bytes);
  // Sends `bytes` while reading what arrives within `wait`; stops when the server closes
  // (it may answer and stop reading before an oversized request is out).
  Exchange Receive(std::chrono::milliseconds wait, std::string_view bytes = {});
  // Whether anything (data or the server's close) waits to be read.
  bool Answered() const;
  void Reset();  // a reset instead of an orderly close

 private:
  int fd_ = -1;
};

// Connects, sends the bytes and reads until the server closes, for at most 10 seconds.
Exchange SendRaw(int port, std::string_view bytes, const std::string& from = "127.0.0.1");

// What our program keeps of a reply: after the first blank line, up to the next.
inline std::string ClientView(std::string_view response) {
  return CutReply(std::string(response));
}
int StatusCode(std::string_view response);
std::string HeaderValue(std::string_view response, std::string_view name);

// The server in-process on a free loopback port, with its data in `folder`.
class RunningServer {
 public:
  explicit RunningServer(const std::filesystem::path& folder,
                         server::ServerLimits limits = {},
                         server::Policy policy = {});
  ~RunningServer();
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
  explicit ChildProcess(std::vector<std::string> command, long long fileSizeLimit = -1);
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The first group of `pattern` once the output matches it; "" if the child ends or
  // `limit` passes first.
  std::string WaitForOutput(const std::string& pattern,
                            std::chrono::milliseconds limit = std::chrono::seconds(15));
  // The port it names in "listening on 127.0.0.1:PORT"; -1 when it never does.
  int ListeningPort();
  std::string output() const;
  void Signal(int signal);
  // The exit status (128 + the signal that ended it) once the child ends; after the
  // limit -1, and the child is killed.
  int Wait(std::chrono::milliseconds limit = std::chrono::seconds(15));

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
  explicit SqliteLock(const std::filesystem::path& file);
  ~SqliteLock();
  void Release();

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace server_test
