#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Handlers.h"
#include "HttpServer.h"
#include "SqliteStore.h"
#include "Store.h"

namespace server_test {

// A fresh folder under the temporary directory, removed afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The request texts our program sends, byte for byte.
std::string ClientGet(std::string_view path);
std::string ClientPost(std::string_view path, std::string_view prog, std::string_view err);
std::string ClientPostBody(std::string_view prog, std::string_view err);

struct Exchange {
  std::string response;         // every byte the server sent
  bool closedByServer = false;  // it hung up within the time limit
};

// Connects from `from` (any 127.x address) to 127.0.0.1:port, sends the bytes
// and reads until the server closes, for at most 10 seconds.
Exchange SendRaw(int port, std::string_view bytes, const std::string& from = "127.0.0.1");

// A connection that the test holds open: connected from `from`, nothing sent yet.
class OpenConnection {
 public:
  OpenConnection(int port, const std::string& from);
  ~OpenConnection();
  OpenConnection(OpenConnection&& other) noexcept;
  OpenConnection(const OpenConnection&) = delete;
  OpenConnection& operator=(const OpenConnection&) = delete;

  bool Send(std::string_view bytes);
  // Whatever arrives within `wait`; reading stops early when the server closes.
  Exchange Receive(std::chrono::milliseconds wait);
  // Whether anything (data or the server's close) is waiting to be read.
  bool Answered() const;
  // Closes with a reset instead of an orderly close.
  void Reset();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// The queue limit of the loopback listener on `port`, as the kernel reports it.
int ListenBacklog(int port);

// What our program keeps of a reply: after the first blank line, up to the next.
std::string ClientView(std::string_view response);
int StatusCode(std::string_view response);
std::string HeaderValue(std::string_view response, std::string_view name);

// The server in-process on a free loopback port, with its data in `folder`.
class RunningServer {
 public:
  explicit RunningServer(const std::filesystem::path& folder, server::ServerLimits limits = {},
                         server::Policy policy = {});
  ~RunningServer();
  int port() const { return port_; }
  server::SqliteStore& store() { return *store_; }
  // What the server has logged so far, one line each.
  std::vector<std::string> log() const;

 private:
  std::unique_ptr<server::SqliteStore> store_;
  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
  std::unique_ptr<server::Handlers> handlers_;
  std::unique_ptr<server::HttpServer> http_;
  std::thread thread_;
  int port_ = -1;
};

// The PostgreSQL server that tests/server/with_postgres.sh started, as a libpq URL;
// empty when there is none.
std::string PostgresServer();

// A schema of its own in that database, dropped afterwards: the URL it gives makes
// it the place where a store creates its tables.
class PostgresSchema {
 public:
  PostgresSchema();
  ~PostgresSchema();
  PostgresSchema(const PostgresSchema&) = delete;
  PostgresSchema& operator=(const PostgresSchema&) = delete;
  const std::string& url() const { return url_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string url_;
};

}  // namespace server_test
