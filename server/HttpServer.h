#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Handlers.h"

namespace server {

struct ServerLimits {
  std::size_t maxBody = 64 * 1024;              // larger bodies get 413, unread
  std::size_t maxHead = 16 * 1024;              // request line and headers; past it, 400
  std::chrono::milliseconds requestTime{2000};  // a request must be in whole within this
  std::chrono::milliseconds replyTime{10000};   // and its reply taken within this
  std::size_t maxConnections = 4096;            // past it, 503 at once
  std::size_t connectionsPerAddress = 16;       // past it, 429 at once; 0: no limit
  int backlog = 1024;
  // Proxies whose X-Forwarded-For names the client; their own connections are not
  // limited per address, as they carry many clients.
  std::vector<std::string> trustedProxies;
  unsigned readWorkers = 0;   // threads for lookups and pages; 0: twice the cores, at least 4
  unsigned writeWorkers = 2;  // threads for votes and error reports
};

// The HTTP side: one request per connection, every reply closes it (our program
// reads until the server hangs up).
//
// One thread waits on all connections at once and reads every request whole before
// a worker sees it, so a client that sends slowly, or not at all, costs a socket and
// a buffer but never a worker. Votes and error reports have workers of their own,
// so lookups do not queue behind writes.
class HttpServer {
 public:
  using Logger = std::function<void(const std::string& line)>;

  explicit HttpServer(Handlers& handlers, ServerLimits limits = {}, Logger logger = nullptr);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening socket; port 0 picks a free one. Returns the port, or -1.
  int Bind(const std::string& address, int port);
  // Serves until Stop; returns false when it could not serve at all.
  bool Run();
  // Ends Run from any thread: no new connections; requests being answered are
  // finished first.
  void Stop();

 private:
  class Engine;
  std::unique_ptr<Engine> engine_;
};

}  // namespace server
