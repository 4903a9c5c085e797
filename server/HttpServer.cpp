#include "HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <httplib.h>
#include <mutex>
#include <optional>
#include <queue>
#include <thread>
#include <unordered_map>
#include <variant>

#include "ClientAddress.h"

namespace server {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// After our reply, what the client still sends is read and thrown away for a moment
// (up to so much), so that closing does not reset the connection under the reply.
constexpr milliseconds kDrainTime{1000};
constexpr milliseconds kRefusedDrainTime{300};
constexpr std::size_t kMaxDrain = 1024 * 1024;
// Connections past the cap that are still told why they are refused.
constexpr std::size_t kRefusalRoom = 256;
// When the process runs out of descriptors, accepting pauses for so long.
constexpr milliseconds kAcceptPause{100};

// A request that has arrived whole, for a worker.
struct Job {
  std::uint64_t id = 0;
  std::string request;
  std::string peer;
  int peerPort = 0;
};

class JobQueue {
 public:
  void Push(Job job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
  }
  // False once closed and empty.
  bool Pop(Job& job) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
    if (jobs_.empty()) return false;
    job = std::move(jobs_.front());
    jobs_.pop_front();
    return true;
  }
  void Close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  bool closed_ = false;
};

// The library's parser and router read a request from here and write the reply
// here: by then the request is all in memory, so no worker waits on a socket.
class MemoryStream final : public httplib::Stream {
 public:
  MemoryStream(std::string_view request, std::string peer, int peerPort)
      : request_(request), peer_(std::move(peer)), peerPort_(peerPort) {}

  bool is_readable() const override { return true; }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const size_t count = std::min(size, request_.size() - position_);
    std::memcpy(ptr, request_.data() + position_, count);
    position_ += count;
    return static_cast<ssize_t>(count);
  }
  ssize_t write(const char* ptr, size_t size) override {
    reply_.append(ptr, size);
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = peer_;
    port = peerPort_;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip.clear();
    port = 0;
  }
  socket_t socket() const override { return INVALID_SOCKET; }

  std::string TakeReply() { return std::move(reply_); }

 private:
  std::string_view request_;
  size_t position_ = 0;
  std::string peer_;
  int peerPort_;
  std::string reply_;
};

void Apply(httplib::Response& response, const Reply& reply) {
  response.status = reply.status;
  response.set_content(reply.body, reply.contentType.c_str());
  if (reply.retryAfter > 0) response.set_header("Retry-After", std::to_string(reply.retryAfter));
}

// A whole reply made without the library, for requests refused before they are parsed.
std::string RawReply(int status, std::string_view reason, int retryAfter = 0) {
  const Reply reply = ErrorReply(status, reason);
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                     "\r\nConnection: close\r\nContent-Type: text/plain\r\nContent-Length: " +
                     std::to_string(reply.body.size()) + "\r\n";
  if (retryAfter > 0) text += "Retry-After: " + std::to_string(retryAfter) + "\r\n";
  return text + "\r\n" + reply.body;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

struct Refusal {
  int status;
  std::string reason;
};

// How many body bytes follow a head, from its Content-Length. A body of another
// kind (chunked) is refused: our program never sends one, and we read requests
// whole before anything else looks at them.
std::variant<size_t, Refusal> BodyLength(std::string_view head) {
  std::optional<size_t> length;
  size_t at = head.find("\r\n");
  while (at != std::string_view::npos && at + 2 < head.size()) {
    const size_t start = at + 2;
    at = head.find("\r\n", start);
    const std::string_view line = head.substr(start, at == std::string_view::npos ? head.npos : at - start);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (name == "transfer-encoding") return Refusal{411, "a body must come with a Content-Length"};
    if (name != "content-length") continue;
    size_t parsed = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
      return Refusal{400, "the Content-Length is not a number"};
    }
    if (length && *length != parsed) return Refusal{400, "the Content-Lengths disagree"};
    length = parsed;
  }
  return length.value_or(0);
}

// Votes and error reports go to the writers' queue.
bool IsWrite(std::string_view request) {
  const std::string_view line = request.substr(0, request.find("\r\n"));
  if (line.starts_with("POST ")) return true;
  const std::string_view target = line.substr(0, line.rfind(' '));
  const size_t query = target.find('?');
  return query != std::string_view::npos && target.find("report=", query) != std::string_view::npos;
}

bool Describe(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    if (!inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text)) return false;
    port = ntohs(v4->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    if (!inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text)) return false;
    port = ntohs(v6->sin6_port);
  } else {
    return false;
  }
  ip = text;
  return !ip.empty();
}

}  // namespace

// The library's request parsing and routing, fed from memory.
class Router final : public httplib::Server {
 public:
  Router(server::Handlers& handlers, const ServerLimits& limits, HttpServer::Logger logger)
      : handlers_(handlers), limits_(limits) {
    set_payload_max_length(limits_.maxBody);

    Get("/~vantor/filecheck.php", [this](const httplib::Request& request, httplib::Response& response) {
      Apply(response, handlers_.FileCheck(request.method, request.target, request.remote_addr));
    });
    Get("/~vantor/progerr.php", [this](const httplib::Request& request, httplib::Response& response) {
      Apply(response, handlers_.ErrorReportPage(request.target));
    });
    Get("/~vantor/updates/updates.ini", [this](const httplib::Request&, httplib::Response& response) {
      Apply(response, handlers_.UpdateList());
    });
    set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
      // A trusted proxy that did not say for whom it asks.
      if (request.remote_addr.empty()) {
        Apply(response, ErrorReply(400, "the client's address is unknown"));
        return HandlerResponse::Handled;
      }
      // The error report's body is read here, before the library would parse it as
      // a form: our program's form repeats its boundary line and never closes it,
      // which the library refuses. So the raw body goes to our own, forgiving parser.
      if (request.method != "POST" || request.path != "/~vantor/progerr.php") return HandlerResponse::Unhandled;
      Apply(response, ReceiveErrorReport(request));
      return HandlerResponse::Handled;
    });

    // Errors the library answers by itself (a malformed request, an unknown path)
    // get a body that says what happened.
    set_error_handler(HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
      if (!response.body.empty()) return HandlerResponse::Unhandled;
      const char* reason = response.status == 404   ? "no such page"
                           : response.status == 413 ? "the body is too large"
                           : response.status == 414 ? "the request line is too long"
                           : response.status == 416 ? "the byte range is malformed"
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

  // Parses, routes and answers one whole request; returns the reply's bytes.
  std::string Answer(const Job& job) {
    MemoryStream stream(job.request, job.peer, job.peerPort);
    currentStream_ = &stream;
    bool closed = false;
    try {
      process_request(stream, true, closed, [this](httplib::Request& request) {
        // Byte ranges would let a short request ask for the same reply many times
        // over; every reply here is small, so ranges are ignored.
        request.ranges.clear();
        std::vector<std::string> forwardedFor;
        const size_t count = request.get_header_value_count("X-Forwarded-For");
        for (size_t i = 0; i < count; ++i) forwardedFor.push_back(request.get_header_value("X-Forwarded-For", i));
        request.remote_addr = ClientAddress(request.remote_addr, forwardedFor, limits_.trustedProxies);
      });
    } catch (const std::exception&) {
      stream.TakeReply();
      const std::string reply = RawReply(500, "unexpected failure");
      stream.write(reply.data(), reply.size());
    }
    currentStream_ = nullptr;
    return stream.TakeReply();
  }

 private:
  Reply ReceiveErrorReport(const httplib::Request& request) {
    if (!request.has_header("Content-Length")) return ErrorReply(400, "a Content-Length is required");
    // The front has checked the Content-Length and read the body whole.
    size_t length = 0;
    const std::string lengthText = request.get_header_value("Content-Length");
    std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), length);
    std::string body(length, '\0');
    if (currentStream_->read(body.data(), length) != static_cast<ssize_t>(length)) {
      return ErrorReply(400, "the body is incomplete");
    }
    return handlers_.ReceiveErrorReport(request.get_header_value("Content-Type"), body, request.remote_addr);
  }

  server::Handlers& handlers_;
  const ServerLimits& limits_;
  // The request this worker thread is answering: the library hands its stream to
  // no handler, and the error report reads its body from it.
  static thread_local MemoryStream* currentStream_;
};

thread_local MemoryStream* Router::currentStream_ = nullptr;

class HttpServer::Engine {
 public:
  Engine(Handlers& handlers, ServerLimits limits, Logger logger)
      : limits_(std::move(limits)), logger_(logger), router_(handlers, limits_, logger) {
    for (auto& proxy : limits_.trustedProxies) proxy = CanonicalAddress(proxy).value_or(proxy);
    if (limits_.readWorkers == 0) limits_.readWorkers = std::max(4u, 2 * std::thread::hardware_concurrency());
    limits_.writeWorkers = std::max(1u, limits_.writeWorkers);
  }

  ~Engine() {
    if (listener_ >= 0) ::close(listener_);
  }

  int Bind(const std::string& address, int port) {
    if (listener_ >= 0) return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) return -1;
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (sock < 0) return -1;
    // A quick restart must find the port free; sharing it with a second server
    // (SO_REUSEPORT) must not happen silently.
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    socklen_t length = sizeof local;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(sock, limits_.backlog) != 0 ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
      ::close(sock);
      return -1;
    }
    listener_ = sock;
    return ntohs(local.sin_port);
  }

  bool Run() {
    if (listener_ < 0) return false;
    if (stopping_) {
      CloseListener();
      return true;
    }
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epoll_ < 0 || wake < 0) {
      if (epoll_ >= 0) ::close(epoll_);
      if (wake >= 0) ::close(wake);
      return false;
    }
    wake_ = wake;
    Watch(wake, kWakeTag, EPOLLIN);
    Watch(listener_, kListenerTag, EPOLLIN);

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < limits_.readWorkers; ++i) workers.emplace_back([this] { Work(reads_); });
    for (unsigned i = 0; i < limits_.writeWorkers; ++i) workers.emplace_back([this] { Work(writes_); });

    Loop();

    reads_.Close();
    writes_.Close();
    for (auto& worker : workers) worker.join();
    while (!connections_.empty()) Close(connections_.begin()->first);
    wake_ = -1;
    ::close(wake);
    ::close(epoll_);
    epoll_ = -1;
    return true;
  }

  void Stop() {
    stopping_ = true;
    Wake();
  }

 private:
  enum class Phase { kReading, kWorking, kWriting, kDraining };

  struct Connection {
    std::uint64_t id = 0;
    int fd = -1;
    std::string peer;
    int peerPort = 0;
    bool counted = false;  // holds one of its address's connections
    Phase phase = Phase::kReading;
    std::uint32_t watched = 0;  // the events epoll waits for; 0: not registered
    SteadyClock::time_point deadline;
    std::string in;
    size_t headEnd = std::string::npos;  // just past the blank line, once seen
    size_t wanted = 0;                   // the whole request, once the head is in
    std::string out;
    size_t sent = 0;
    bool drainAfter = false;  // the request was not read to its end
    size_t drained = 0;
  };

  struct Timer {
    SteadyClock::time_point at;
    std::uint64_t id;
    bool operator>(const Timer& other) const { return at > other.at; }
  };

  static constexpr std::uint64_t kListenerTag = 1;
  static constexpr std::uint64_t kWakeTag = 2;

  void Wake() {
    const int wake = wake_;
    if (wake < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake, &one, sizeof one);
  }

  void Watch(int fd, std::uint64_t tag, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = tag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  }

  void Watch(Connection& connection, std::uint32_t events) {
    if (connection.watched == events) return;
    epoll_event event{};
    event.events = events;
    event.data.u64 = connection.id;
    if (events == 0) {
      ::epoll_ctl(epoll_, EPOLL_CTL_DEL, connection.fd, &event);
    } else {
      ::epoll_ctl(epoll_, connection.watched == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, connection.fd, &event);
    }
    connection.watched = events;
  }

  void SetDeadline(Connection& connection, milliseconds after) {
    connection.deadline = SteadyClock::now() + after;
    timers_.push({connection.deadline, connection.id});
  }

  void Log(const Connection& connection, int status, std::string_view reason) const {
    if (logger_) logger_(connection.peer + " - - " + std::to_string(status) + " (" + std::string(reason) + ")");
  }

  void Loop() {
    epoll_event events[256];
    bool stopped = false;
    while (true) {
      if (stopping_ && !stopped) {
        stopped = true;
        CloseListener();
        std::vector<std::uint64_t> idle;
        for (const auto& [id, connection] : connections_) {
          if (connection.phase == Phase::kReading || connection.phase == Phase::kDraining) idle.push_back(id);
        }
        for (const auto id : idle) Close(id);
      }
      if (stopped && connections_.empty()) return;

      const int ready = ::epoll_wait(epoll_, events, 256, NextTimeout());
      if (ready < 0 && errno != EINTR) return;
      for (int i = 0; i < ready; ++i) {
        const std::uint64_t tag = events[i].data.u64;
        if (tag == kListenerTag) {
          Accept();
        } else if (tag == kWakeTag) {
          std::uint64_t count;
          [[maybe_unused]] const ssize_t ignored = ::read(wake_, &count, sizeof count);
          TakeReplies();
        } else {
          Handle(tag);
        }
      }
      Expire();
    }
  }

  int NextTimeout() {
    auto next = SteadyClock::time_point::max();
    if (!timers_.empty()) next = timers_.top().at;
    if (acceptPaused_) next = std::min(next, acceptResume_);
    if (next == SteadyClock::time_point::max()) return -1;
    const auto left = std::chrono::ceil<milliseconds>(next - SteadyClock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
  }

  void CloseListener() {
    if (listener_ < 0) return;
    if (epoll_ >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    listener_ = -1;
  }

  bool IsTrustedProxy(const std::string& address) const {
    return std::find(limits_.trustedProxies.begin(), limits_.trustedProxies.end(), address) !=
           limits_.trustedProxies.end();
  }

  void Accept() {
    while (listener_ >= 0) {
      sockaddr_storage address{};
      socklen_t length = sizeof address;
      const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&address), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          // Out of descriptors: let the listen queue hold the rest for a moment.
          ::epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
          acceptPaused_ = true;
          acceptResume_ = SteadyClock::now() + kAcceptPause;
        }
        return;
      }
      Connection connection;
      connection.fd = fd;
      // A connection whose peer cannot be told could vote for nobody in particular.
      if (!Describe(address, connection.peer, connection.peerPort)) {
        ::close(fd);
        continue;
      }
      if (connections_.size() >= limits_.maxConnections + kRefusalRoom) {
        // Not even room to say so politely.
        const std::string reply = RawReply(503, "the server is busy, please try again later", 1);
        [[maybe_unused]] const ssize_t ignored = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(fd);
        continue;
      }
      connection.id = nextId_++;
      const std::uint64_t id = connection.id;
      auto& placed = connections_.emplace(id, std::move(connection)).first->second;
      if (connections_.size() > limits_.maxConnections) {
        Refuse(placed, 503, "the server is busy, please try again later", true, kRefusedDrainTime);
        continue;
      }
      if (limits_.connectionsPerAddress > 0 && !IsTrustedProxy(placed.peer)) {
        size_t& open = perAddress_[LimitKey(placed.peer)];
        if (open >= limits_.connectionsPerAddress) {
          Refuse(placed, 429, "too many connections from your address, please try again later", true,
                 kRefusedDrainTime);
          continue;
        }
        ++open;
        placed.counted = true;
      }
      SetDeadline(placed, limits_.requestTime);
      Watch(placed, EPOLLIN | EPOLLRDHUP);
    }
  }

  void Handle(std::uint64_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = found->second;
    switch (connection.phase) {
      case Phase::kReading: return Read(connection);
      case Phase::kWriting: return Write(connection);
      case Phase::kDraining: return Drain(connection);
      case Phase::kWorking: return;
    }
  }

  void Read(Connection& connection) {
    char buffer[16384];
    while (true) {
      const ssize_t received = ::recv(connection.fd, buffer, sizeof buffer, 0);
      if (received > 0) {
        const size_t before = connection.in.size();
        connection.in.append(buffer, static_cast<size_t>(received));
        if (!Examine(connection, before)) return;
        continue;
      }
      if (received < 0 && errno == EINTR) continue;
      if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (received == 0 && !connection.in.empty()) {
        // The client stopped sending half-way; it may still read the answer.
        Refuse(connection, 400, "the request is incomplete", false);
        return;
      }
      Close(connection.id);
      return;
    }
  }

  // Looks at what has arrived; false once the connection is no longer reading.
  bool Examine(Connection& connection, size_t before) {
    if (connection.headEnd == std::string::npos) {
      const size_t end = connection.in.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
      if (end == std::string::npos || end + 4 > limits_.maxHead) {
        if (connection.in.size() <= limits_.maxHead) return true;
        Refuse(connection, 400, "the request head is too large", true);
        return false;
      }
      connection.headEnd = end + 4;
      const auto length = BodyLength(std::string_view(connection.in).substr(0, connection.headEnd));
      if (const auto* refusal = std::get_if<Refusal>(&length)) {
        Refuse(connection, refusal->status, refusal->reason, true);
        return false;
      }
      const size_t body = std::get<size_t>(length);
      if (body > limits_.maxBody) {
        Refuse(connection, 413, "the body is too large", true);
        return false;
      }
      connection.wanted = connection.headEnd + body;
    }
    if (connection.in.size() < connection.wanted) return true;
    // Anything after the request is not ours to answer: one request per connection.
    connection.in.resize(connection.wanted);
    Dispatch(connection);
    return false;
  }

  void Dispatch(Connection& connection) {
    connection.phase = Phase::kWorking;
    Watch(connection, 0);
    const bool write = IsWrite(connection.in);
    Job job{connection.id, std::move(connection.in), connection.peer, connection.peerPort};
    connection.in = std::string();
    (write ? writes_ : reads_).Push(std::move(job));
  }

  void Work(JobQueue& queue) {
    Job job;
    while (queue.Pop(job)) {
      std::string reply = router_.Answer(job);
      {
        std::lock_guard lock(repliesMutex_);
        replies_.emplace_back(job.id, std::move(reply));
      }
      Wake();
    }
  }

  void TakeReplies() {
    std::vector<std::pair<std::uint64_t, std::string>> replies;
    {
      std::lock_guard lock(repliesMutex_);
      replies.swap(replies_);
    }
    for (auto& [id, reply] : replies) {
      const auto found = connections_.find(id);
      if (found == connections_.end()) continue;
      Connection& connection = found->second;
      connection.out = std::move(reply);
      StartWriting(connection, limits_.replyTime);
    }
  }

  void StartWriting(Connection& connection, milliseconds limit) {
    connection.phase = Phase::kWriting;
    connection.sent = 0;
    SetDeadline(connection, limit);
    Write(connection);
  }

  // Answers without asking a worker: the request is refused before it is parsed.
  void Refuse(Connection& connection, int status, std::string_view reason, bool drainAfter,
              milliseconds limit = kDrainTime) {
    Log(connection, status, reason);
    connection.in = std::string();
    connection.out = RawReply(status, reason, status == 429 || status == 503 ? 1 : 0);
    connection.drainAfter = drainAfter;
    StartWriting(connection, limit);
  }

  void Write(Connection& connection) {
    while (connection.sent < connection.out.size()) {
      const ssize_t sent = ::send(connection.fd, connection.out.data() + connection.sent,
                                  connection.out.size() - connection.sent, MSG_NOSIGNAL);
      if (sent > 0) {
        connection.sent += static_cast<size_t>(sent);
        continue;
      }
      if (sent < 0 && errno == EINTR) continue;
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        Watch(connection, EPOLLOUT);
        return;
      }
      Close(connection.id);
      return;
    }
    Finish(connection);
  }

  // Closing with unread bytes in the socket would reset the connection, and the
  // client might lose the reply: so when anything may still come, stop writing,
  // swallow it for a moment, then close.
  void Finish(Connection& connection) {
    if (!connection.drainAfter) {
      char probe[512];
      const ssize_t pending = ::recv(connection.fd, probe, sizeof probe, MSG_DONTWAIT);
      if (pending == 0 || (pending < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
        Close(connection.id);
        return;
      }
      if (pending < 0) {
        Close(connection.id);
        return;
      }
    }
    ::shutdown(connection.fd, SHUT_WR);
    connection.phase = Phase::kDraining;
    connection.out = std::string();
    SetDeadline(connection, connection.counted ? kDrainTime : kRefusedDrainTime);
    Watch(connection, EPOLLIN | EPOLLRDHUP);
  }

  void Drain(Connection& connection) {
    char sink[16384];
    while (true) {
      const ssize_t received = ::recv(connection.fd, sink, sizeof sink, 0);
      if (received > 0) {
        connection.drained += static_cast<size_t>(received);
        if (connection.drained > kMaxDrain) break;
        continue;
      }
      if (received < 0 && errno == EINTR) continue;
      if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      break;
    }
    Close(connection.id);
  }

  void Expire() {
    const auto now = SteadyClock::now();
    if (acceptPaused_ && acceptResume_ <= now && listener_ >= 0) {
      acceptPaused_ = false;
      Watch(listener_, kListenerTag, EPOLLIN);
    }
    while (!timers_.empty() && timers_.top().at <= now) {
      const Timer timer = timers_.top();
      timers_.pop();
      const auto found = connections_.find(timer.id);
      if (found == connections_.end() || found->second.deadline != timer.at) continue;
      Connection& connection = found->second;
      switch (connection.phase) {
        case Phase::kReading:
          Refuse(connection, 408,
                 "the request did not arrive within " + std::to_string(limits_.requestTime.count()) + " ms", true);
          break;
        case Phase::kWriting:
        case Phase::kDraining:
          Close(connection.id);
          break;
        case Phase::kWorking:
          break;
      }
    }
  }

  void Close(std::uint64_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = found->second;
    if (connection.counted) {
      const auto open = perAddress_.find(LimitKey(connection.peer));
      if (open != perAddress_.end() && --open->second == 0) perAddress_.erase(open);
    }
    ::close(connection.fd);  // leaves the epoll set with it
    connections_.erase(found);
  }

  ServerLimits limits_;
  Logger logger_;
  Router router_;
  int listener_ = -1;
  int epoll_ = -1;
  std::atomic<int> wake_ = -1;
  std::atomic<bool> stopping_ = false;
  bool acceptPaused_ = false;
  SteadyClock::time_point acceptResume_;
  std::uint64_t nextId_ = 16;
  std::unordered_map<std::uint64_t, Connection> connections_;
  std::unordered_map<std::string, size_t> perAddress_;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
  JobQueue reads_;
  JobQueue writes_;
  std::mutex repliesMutex_;
  std::vector<std::pair<std::uint64_t, std::string>> replies_;
};

HttpServer::HttpServer(Handlers& handlers, ServerLimits limits, Logger logger)
    : engine_(std::make_unique<Engine>(handlers, std::move(limits), std::move(logger))) {}

HttpServer::~HttpServer() { Stop(); }

int HttpServer::Bind(const std::string& address, int port) { return engine_->Bind(address, port); }

bool HttpServer::Run() { return engine_->Run(); }

void HttpServer::Stop() { engine_->Stop(); }

}  // namespace server
