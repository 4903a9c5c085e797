#include "HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <httplib.h>

namespace server {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A connection's socket that gives up when a request grows past its budget, goes
// silent for too long or takes too long as a whole. The library reads headers
// line by line without a limit of its own; this is where the limit lives.
class BoundedStream final : public httplib::Stream {
 public:
  BoundedStream(int sock, const ServerLimits& limits)
      : sock_(sock),
        budget_(limits.maxRequest),
        readTimeout_(limits.readTimeout),
        deadline_(SteadyClock::now() + limits.requestTime) {}

  bool is_readable() const override { return Wait(POLLIN, ReadWait()); }
  bool is_writable() const override { return Wait(POLLOUT, kWriteTimeout); }

  ssize_t read(char* ptr, size_t size) override {
    if (budget_ == 0 || !is_readable()) return -1;
    ssize_t received;
    do {
      received = ::recv(sock_, ptr, std::min(size, budget_), 0);
    } while (received < 0 && errno == EINTR);
    if (received > 0) budget_ -= static_cast<size_t>(received);
    return received;
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    ssize_t sent;
    do {
      sent = ::send(sock_, ptr, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Describe(::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Describe(::getsockname, ip, port);
  }
  socket_t socket() const override { return sock_; }

 private:
  static constexpr std::chrono::milliseconds kWriteTimeout{5000};

  std::chrono::milliseconds ReadWait() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - SteadyClock::now());
    return std::clamp(left, std::chrono::milliseconds(0), readTimeout_);
  }

  bool Wait(short events, std::chrono::milliseconds timeout) const {
    pollfd entry{sock_, events, 0};
    int ready;
    do {
      ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
  }

  template <typename NameFunction>
  void Describe(NameFunction name, std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ip.clear();
    port = -1;
    if (name(sock_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
      const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
      inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
      port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
      const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
      inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
      port = ntohs(v6->sin6_port);
    }
    ip = text;
  }

  int sock_;
  size_t budget_;
  std::chrono::milliseconds readTimeout_;
  SteadyClock::time_point deadline_;
};

// Closes after the reply without losing it: if the peer is still sending (an
// oversized request), an abrupt close would reset the connection and the peer
// might never read our 400. So stop writing, swallow what still comes for a
// moment, then close.
void CloseGently(int sock) {
  ::shutdown(sock, SHUT_WR);
  char sink[4096];
  size_t drained = 0;
  const auto until = SteadyClock::now() + std::chrono::milliseconds(1000);
  while (drained < 1024 * 1024) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now());
    if (left.count() <= 0) break;
    pollfd entry{sock, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t received = ::recv(sock, sink, sizeof sink, 0);
    if (received <= 0) break;
    drained += static_cast<size_t>(received);
  }
  ::close(sock);
}

void Apply(httplib::Response& response, const Reply& reply) {
  response.status = reply.status;
  response.set_content(reply.body, reply.contentType.c_str());
}

}  // namespace

class HttpServer::Engine final : public httplib::Server {
 public:
  Engine(server::Handlers& handlers, ServerLimits limits, Logger logger)
      : handlers_(handlers), limits_(limits) {
    set_payload_max_length(limits_.maxBody);
    set_keep_alive_max_count(1);
    // The library's default also sets SO_REUSEPORT, which would let a second
    // server share our port silently; a quick restart is all we need.
    set_socket_options([](socket_t sock) {
      const int yes = 1;
      ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });

    Get("/~vantor/filecheck.php", [this](const httplib::Request& request, httplib::Response& response) {
      Apply(response, handlers_.FileCheck(request.target, request.remote_addr));
    });
    Get("/~vantor/progerr.php", [this](const httplib::Request& request, httplib::Response& response) {
      Apply(response, handlers_.ErrorReportPage(request.target));
    });
    Get("/~vantor/updates/updates.ini", [this](const httplib::Request&, httplib::Response& response) {
      Apply(response, handlers_.UpdateList());
    });
    // The error report's body is read here, before the library would parse it as a
    // form: our program's form repeats its boundary line and never closes it, which
    // the library refuses. So the raw body goes to our own, forgiving parser.
    set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
      if (request.method != "POST" || request.path != "/~vantor/progerr.php") return HandlerResponse::Unhandled;
      Apply(response, ReceiveErrorReport(request));
      return HandlerResponse::Handled;
    });

    // Errors the library answers by itself (a malformed request, an unknown path)
    // get a body that says what happened.
    set_error_handler(HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
      if (!response.body.empty()) return HandlerResponse::Unhandled;
      const char* reason = response.status == 404 ? "no such page"
                           : response.status == 413 ? "the body is too large"
                           : response.status == 414 ? "the request line is too long"
                                                    : "the request is malformed";
      Apply(response, ErrorReply(response.status, reason));
      return HandlerResponse::Handled;
    }));
    set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
      std::string what = "unexpected failure";
      try {
        if (error) std::rethrow_exception(error);
      } catch (const std::exception& failure) {
        what = failure.what();
      } catch (...) {
      }
      Apply(response, ErrorReply(500, what));
    });
    if (logger) {
      set_logger([logger](const httplib::Request& request, const httplib::Response& response) {
        std::string target;
        for (const char c : request.target.substr(0, 200)) {
          target.push_back(static_cast<unsigned char>(c) < 32 ? '?' : c);
        }
        logger(request.remote_addr + " " + request.method + " " + target + " " + std::to_string(response.status));
      });
    }
  }

  // The library's own stop does nothing until its loop has started; a stop that
  // comes between Bind and Run must not be lost, so close the listener here.
  void Shutdown() {
    const socket_t listener = svr_sock_.exchange(INVALID_SOCKET);
    if (listener == INVALID_SOCKET) return;
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
  }

 private:
  Reply ReceiveErrorReport(const httplib::Request& request) {
    if (!request.has_header("Content-Length")) return ErrorReply(400, "a Content-Length is required");
    const std::string lengthText = request.get_header_value("Content-Length");
    size_t length = 0;
    const auto [end, error] = std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), length);
    if (error != std::errc() || end != lengthText.data() + lengthText.size()) {
      return ErrorReply(400, "the Content-Length is not a number");
    }
    if (length > limits_.maxBody) return ErrorReply(413, "the body is too large");
    std::string body(length, '\0');
    for (size_t got = 0; got < length;) {
      const ssize_t read = currentStream_->read(body.data() + got, length - got);
      if (read <= 0) return ErrorReply(400, "the body is incomplete");
      got += static_cast<size_t>(read);
    }
    return handlers_.ReceiveErrorReport(request.get_header_value("Content-Type"), body, request.remote_addr);
  }

  bool process_and_close_socket(socket_t sock) override {
    BoundedStream stream(sock, limits_);
    currentStream_ = &stream;
    bool closed = false;
    const bool served = process_request(stream, true, closed, [](httplib::Request&) {});
    currentStream_ = nullptr;
    CloseGently(sock);
    return served;
  }

  server::Handlers& handlers_;
  ServerLimits limits_;
  // The connection this worker thread is serving: the library hands its stream to
  // no handler, and the error report reads its body from it.
  static thread_local BoundedStream* currentStream_;
};

thread_local BoundedStream* HttpServer::Engine::currentStream_ = nullptr;

HttpServer::HttpServer(Handlers& handlers, ServerLimits limits, Logger logger)
    : engine_(std::make_unique<Engine>(handlers, limits, std::move(logger))) {}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Bind(const std::string& address, int port) {
  if (port == 0) return engine_->bind_to_any_port(address);
  return engine_->bind_to_port(address, port) ? port : -1;
}

bool HttpServer::Run() { return engine_->listen_after_bind(); }

void HttpServer::Stop() { engine_->Shutdown(); }

}  // namespace server
