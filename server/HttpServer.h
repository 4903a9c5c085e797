#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "Handlers.h"

namespace server {

struct ServerLimits {
  std::size_t maxBody = 64 * 1024;                 // larger bodies get 413
  std::size_t maxRequest = 128 * 1024;             // head and body together; past it, 400
  std::chrono::milliseconds readTimeout{5000};     // one silent read ends the request
  std::chrono::milliseconds requestTime{30000};    // a whole request, however it trickles in
};

// The HTTP side: one request per connection, every reply closes it (our program
// reads until the server hangs up).
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
  // Ends Run from any thread; requests in progress are finished first.
  void Stop();

 private:
  class Engine;
  std::unique_ptr<Engine> engine_;
};

}  // namespace server
