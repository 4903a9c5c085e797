#include "platform/socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>

#include "platform/portable/event_loop.h"

namespace platform {
namespace {

using portable::EventLoop;

int WinsockNumber(int error) {
  switch (error) {
    case 0: return 0;
    case EWOULDBLOCK: return kWsaWouldBlock;
    case EINPROGRESS: return kWsaWouldBlock;
    case EALREADY: return 10037;
    case EBADF: case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return kWsaAddressNotAvailable;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: case EPIPE: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return kWsaConnectionRefused;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case EMFILE: return 10024;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINTR: return 10004;
    default: return 10022;  // invalid argument
  }
}

int LastError() { return WinsockNumber(errno); }

class PortableNotifier;

// What the message pump must know about a socket to imitate WSAAsyncSelect: who gets its
// events and which one-shot notifications are armed.
struct Watched {
  PortableNotifier* owner = nullptr;
  int mask = 0;
  bool udp = false;
  bool listening = false;
  bool connecting = false;
  bool write_wanted = false;
  bool close_reported = false;
};

std::map<SocketId, Watched>& Sockets() {
  static std::map<SocketId, Watched> sockets;
  return sockets;
}

void Rewatch(SocketId socket);

class PortableNotifier : public SocketNotifier {
 public:
  PortableNotifier(SocketHandler on_socket, LookupHandler on_lookup)
      : on_socket_(std::move(on_socket)), on_lookup_(std::move(on_lookup)),
        alive_(std::make_shared<bool>(true)) {}

  ~PortableNotifier() override {
    *alive_ = false;
    CancelLookup();
    for (auto& [socket, watched] : Sockets()) {
      if (watched.owner != this) continue;
      watched.owner = nullptr;
      watched.mask = 0;
      EventLoop::Instance().UnwatchFd(static_cast<int>(socket));
    }
  }

  int Select(SocketId socket, int mask) override {
    auto found = Sockets().find(socket);
    if (found == Sockets().end()) return 10038;
    found->second.owner = mask ? this : nullptr;
    found->second.mask = mask;
    // As on Windows, a socket that can be written to says so once after selection.
    found->second.write_wanted = (mask & kSockWrite) && !found->second.connecting &&
                                 !found->second.listening;
    Rewatch(socket);
    return 0;
  }

  void Post(SocketId socket, int event, int error) override {
    std::weak_ptr<bool> alive = alive_;
    EventLoop::Instance().Post([this, alive, socket, event, error] {
      if (alive.expired() || !*alive.lock()) return;
      Deliver(socket, event, error);
    });
  }

  int StartLookup(const std::string& host) override {
    CancelLookup();
    lookup_ = std::make_shared<bool>(true);
    std::weak_ptr<bool> running = lookup_;
    // Resolved on the next turn of the pump, never inside the call, so callers see the
    // "resolving" state first, as with Winsock's asynchronous lookup.
    EventLoop::Instance().Post([this, running, host] {
      if (running.expired() || !*running.lock()) return;
      lookup_.reset();
      int error = 0;
      uint32_t address = ResolveHostNow(host, &error);
      LookupHandler handler = on_lookup_;
      handler(error, address);
    });
    return 0;
  }

  void CancelLookup() override {
    if (lookup_) *lookup_ = false;
    lookup_.reset();
  }

  bool LookupRunning() const override { return lookup_ != nullptr; }

  void Deliver(SocketId socket, int event, int error) {
    SocketHandler handler = on_socket_;
    handler(socket, event, error);
  }

 private:
  SocketHandler on_socket_;
  LookupHandler on_lookup_;
  std::shared_ptr<bool> alive_;
  std::shared_ptr<bool> lookup_;
};

// A peer that closed leaves the socket readable with nothing to read.
int ReadableEvent(SocketId socket, int* error) {
  char byte;
  ssize_t got = recv(static_cast<int>(socket), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  *error = 0;
  if (got > 0) return kSockRead;
  if (got == 0) return kSockClose;
  if (errno == EWOULDBLOCK || errno == EINTR) return 0;
  *error = LastError();
  return kSockClose;
}

void OnReady(SocketId socket, short /*stale*/) {
  auto found = Sockets().find(socket);
  if (found == Sockets().end() || !found->second.owner) return;
  // The pump's readiness may belong to an earlier socket that had the same descriptor
  // and was closed by a handler in the same turn: ask again.
  pollfd now{static_cast<int>(socket), POLLIN | POLLOUT, 0};
  if (poll(&now, 1, 0) <= 0) return;
  short revents = now.revents;
  Watched& watched = found->second;
  PortableNotifier* owner = watched.owner;

  if (watched.connecting) {
    if (!(revents & (POLLOUT | POLLERR | POLLHUP))) return;
    int so_error = 0;
    socklen_t length = sizeof so_error;
    getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &so_error, &length);
    watched.connecting = false;
    watched.write_wanted = so_error == 0;
    Rewatch(socket);
    if (watched.mask & kSockConnect) owner->Deliver(socket, kSockConnect, WinsockNumber(so_error));
    return;
  }
  if ((revents & POLLOUT) && watched.write_wanted) {
    watched.write_wanted = false;
    Rewatch(socket);
    owner->Deliver(socket, kSockWrite, 0);
    return;  // the next turn reports the rest; the handler may have changed everything
  }
  if (!(revents & (POLLIN | POLLERR | POLLHUP))) return;
  if (watched.listening) {
    if (watched.mask & kSockAccept) owner->Deliver(socket, kSockAccept, 0);
    return;
  }
  if (watched.udp) {
    if (watched.mask & kSockRead) owner->Deliver(socket, kSockRead, 0);
    return;
  }
  int error = 0;
  int event = ReadableEvent(socket, &error);
  if (event == kSockClose) {
    watched.close_reported = true;
    Rewatch(socket);
  }
  if (event && (watched.mask & event)) owner->Deliver(socket, event, error);
}

void Rewatch(SocketId socket) {
  int fd = static_cast<int>(socket);
  auto found = Sockets().find(socket);
  if (found == Sockets().end() || !found->second.owner) {
    EventLoop::Instance().UnwatchFd(fd);
    return;
  }
  const Watched& watched = found->second;
  short events = 0;
  if (watched.connecting || watched.write_wanted) events |= POLLOUT;
  if (!watched.connecting && !watched.close_reported &&
      (watched.mask & (kSockRead | kSockAccept | kSockClose)))
    events |= POLLIN;
  if (!events) {
    EventLoop::Instance().UnwatchFd(fd);
    return;
  }
  EventLoop::Instance().WatchFd(fd, events, [socket](short revents) { OnReady(socket, revents); });
}

sockaddr_in ToSockaddr(SocketAddress address) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(address.port);
  result.sin_addr.s_addr = address.address;
  return result;
}

SocketAddress FromSockaddr(const sockaddr_in& address) {
  return SocketAddress{address.sin_addr.s_addr, ntohs(address.sin_port)};
}

void MakeNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

int g_started = 0;

}  // namespace

std::unique_ptr<SocketNotifier> CreateSocketNotifier(uint32_t /*id*/,
                                                     SocketNotifier::SocketHandler on_socket,
                                                     SocketNotifier::LookupHandler on_lookup) {
  return std::make_unique<PortableNotifier>(std::move(on_socket), std::move(on_lookup));
}

bool StartSockets() {
  ++g_started;
  return true;
}

void StopSockets() {
  if (g_started > 0) --g_started;
}

int OpenSocket(bool udp, SocketId* socket) {
  int fd = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, udp ? IPPROTO_UDP : IPPROTO_TCP);
  if (fd < 0) return LastError();
  MakeNonBlocking(fd);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  *socket = fd;
  Sockets()[fd] = Watched{.udp = udp};
  return 0;
}

int CloseSocketId(SocketId socket) {
  EventLoop::Instance().UnwatchFd(static_cast<int>(socket));
  Sockets().erase(socket);
  return ::close(static_cast<int>(socket)) == 0 ? 0 : LastError();
}

int SetBroadcast(SocketId socket) {
  int on = 1;
  return setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0
             ? 0
             : LastError();
}

namespace {

int BufferOption(SocketId socket, bool udp, int option, int* size) {
  if (udp) {
    *size = 65507;  // the largest IPv4 datagram payload
    return 0;
  }
  socklen_t length = sizeof *size;
  return getsockopt(static_cast<int>(socket), SOL_SOCKET, option, size, &length) == 0
             ? 0
             : LastError();
}

}  // namespace

int ReceiveBufferSize(SocketId socket, bool udp, int* size) {
  return BufferOption(socket, udp, SO_RCVBUF, size);
}

int SendBufferSize(SocketId socket, bool udp, int* size) {
  return BufferOption(socket, udp, SO_SNDBUF, size);
}

int ConnectSocket(SocketId socket, SocketAddress to) {
  sockaddr_in address = ToSockaddr(to);
  int result = connect(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address),
                       sizeof address);
  int error = result == 0 ? 0 : LastError();
  if (error != 0 && error != kWsaWouldBlock) return error;
  auto found = Sockets().find(socket);
  if (found != Sockets().end()) {
    found->second.connecting = true;
    found->second.write_wanted = false;
    Rewatch(socket);
  }
  return kWsaWouldBlock;
}

int BindSocket(SocketId socket, SocketAddress at) {
  int on = 1;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = ToSockaddr(at);
  return bind(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
             ? 0
             : LastError();
}

int ListenSocket(SocketId socket, int backlog) {
  if (listen(static_cast<int>(socket), backlog) != 0) return LastError();
  auto found = Sockets().find(socket);
  if (found != Sockets().end()) {
    found->second.listening = true;
    found->second.write_wanted = false;
    Rewatch(socket);
  }
  return 0;
}

int AcceptSocket(SocketId listener, SocketId* accepted, SocketAddress* peer) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  int fd = accept(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (fd < 0) return LastError();
  MakeNonBlocking(fd);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  *accepted = fd;
  *peer = FromSockaddr(address);
  // An accepted socket inherits the listener's selection, as with WSAAsyncSelect.
  Watched watched;
  auto found = Sockets().find(listener);
  if (found != Sockets().end()) {
    watched.owner = found->second.owner;
    watched.mask = found->second.mask;
    watched.write_wanted = (watched.mask & kSockWrite) != 0;
  }
  Sockets()[fd] = watched;
  Rewatch(fd);
  return 0;
}

int SendBytes(SocketId socket, const char* data, int length, int* count) {
  ssize_t sent = send(static_cast<int>(socket), data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent >= 0) {
    *count = static_cast<int>(sent);
    return 0;
  }
  int error = LastError();
  if (error == kWsaWouldBlock) {
    auto found = Sockets().find(socket);
    if (found != Sockets().end()) {
      found->second.write_wanted = true;
      Rewatch(socket);
    }
  }
  *count = 0;
  return error;
}

int SendBytesTo(SocketId socket, const char* data, int length, SocketAddress to, int* count) {
  sockaddr_in address = ToSockaddr(to);
  ssize_t sent = sendto(static_cast<int>(socket), data, length, MSG_NOSIGNAL | MSG_DONTWAIT,
                        reinterpret_cast<sockaddr*>(&address), sizeof address);
  *count = sent >= 0 ? static_cast<int>(sent) : 0;
  return sent >= 0 ? 0 : LastError();
}

int ReceiveBytes(SocketId socket, char* data, int length, int* count) {
  ssize_t got = recv(static_cast<int>(socket), data, length, MSG_DONTWAIT);
  *count = got >= 0 ? static_cast<int>(got) : 0;
  return got >= 0 ? 0 : LastError();
}

int BytesWaiting(SocketId socket, int* count) {
  return ioctl(static_cast<int>(socket), FIONREAD, count) == 0 ? 0 : LastError();
}

int PeerAddress(SocketId socket, SocketAddress* peer) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getpeername(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return LastError();
  *peer = FromSockaddr(address);
  return 0;
}

int LocalAddress(SocketId socket, SocketAddress* local) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return LastError();
  *local = FromSockaddr(address);
  return 0;
}

uint32_t ParseDottedAddress(const std::string& text) {
  in_addr address{};
  if (inet_aton(text.c_str(), &address) == 0) return kNoAddress;
  return address.s_addr;
}

std::string DottedAddress(uint32_t address) {
  in_addr in{};
  in.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &in, text, sizeof text);
  return text;
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

uint32_t ResolveHostNow(const std::string& host, int* error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
    *error = kWsaHostNotFound;
    return kNoAddress;
  }
  uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  *error = 0;
  return address;
}

std::string NameOfAddress(SocketAddress address, int* error) {
  sockaddr_in in = ToSockaddr(address);
  char host[256] = {};
  int result = getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof in, host, sizeof host,
                           nullptr, 0, 0);
  *error = result == 0 ? 0 : kWsaHostNotFound;
  return result == 0 ? std::string(host) : std::string();
}

// The host's ANSI code page is taken as Latin-1: one byte per character, and the
// characters 0 to 255 are the Unicode ones.
std::string AnsiToUtf8(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    if (c < 0x80) {
      result += static_cast<char>(c);
    } else {
      result += static_cast<char>(0xC0 | (c >> 6));
      result += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return result;
}

std::string Utf8ToAnsi(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k) code = (code << 6) | (text[i + k] & 0x3F);
    result += code < 256 ? static_cast<char>(code) : '?';
    i += extra + 1;
  }
  return result;
}

// Characters past U+FFFF go as their surrogate pair.
std::string Utf8ToUtf16Bytes(const std::string& text) {
  std::string result;
  auto unit = [&result](uint32_t value) {
    result += static_cast<char>(value & 0xFF);
    result += static_cast<char>(value >> 8);
  };
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k) code = (code << 6) | (text[i + k] & 0x3F);
    if (code >= 0x10000) {
      code -= 0x10000;
      unit(0xD800 | (code >> 10));
      unit(0xDC00 | (code & 0x3FF));
    } else {
      unit(code);
    }
    i += extra + 1;
  }
  return result;
}

}  // namespace platform
