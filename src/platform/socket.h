// IPv4 sockets that report readiness as messages on the program's one thread, the way
// Winsock's WSAAsyncSelect does: each owner gets a notifier, and every event for its
// sockets (read, write, accept, connect, close) and every asynchronous name lookup reply
// reaches the owner's handlers while the message pump runs. Numbers are Winsock's on
// both sides: the portable layer translates its errno values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

using SocketId = int64_t;
inline constexpr SocketId kNoSocket = -1;

// Event codes, as WSAAsyncSelect numbers them.
inline constexpr int kSockRead = 1;
inline constexpr int kSockWrite = 2;
inline constexpr int kSockAccept = 8;
inline constexpr int kSockConnect = 16;
inline constexpr int kSockClose = 32;
inline constexpr int kSockAllEvents = kSockRead | kSockWrite | kSockAccept | kSockConnect | kSockClose;

// Error numbers the callers look at.
inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaAddressNotAvailable = 10049;
inline constexpr int kWsaConnectionRefused = 10061;
inline constexpr int kWsaNotInitialised = 10093;
inline constexpr int kWsaHostNotFound = 11001;

// "No address": what inet_addr answers for a text that is not a dotted address.
inline constexpr uint32_t kNoAddress = 0xFFFFFFFF;

// Addresses are kept in network byte order (as in_addr holds them); ports as numbers.
struct SocketAddress {
  uint32_t address = 0;
  uint16_t port = 0;
};

// One owner's mailbox: on Windows a hidden window, on the portable side an entry of the
// message pump. The handlers run only while messages are being dispatched.
class SocketNotifier {
 public:
  using SocketHandler = std::function<void(SocketId socket, int event, int error)>;
  // error 0: address holds the first address of the host.
  using LookupHandler = std::function<void(int error, uint32_t address)>;

  virtual ~SocketNotifier() = default;

  // Sends readiness of the socket to this notifier (mask: the kSock* events wanted).
  // A socket is watched by one notifier at a time; selecting it again moves it.
  virtual int Select(SocketId socket, int mask) = 0;
  // Queues one event as if the platform had sent it, for forwarding to another owner.
  virtual void Post(SocketId socket, int event, int error) = 0;
  // Starts resolving a host name; the reply arrives through the lookup handler. One
  // lookup runs at a time; starting another or cancelling drops the pending one.
  virtual int StartLookup(const std::string& host) = 0;
  virtual void CancelLookup() = 0;
  virtual bool LookupRunning() const = 0;
};

// `id` names the owner (the window title on Windows).
std::unique_ptr<SocketNotifier> CreateSocketNotifier(uint32_t id,
                                                     SocketNotifier::SocketHandler on_socket,
                                                     SocketNotifier::LookupHandler on_lookup);

// The socket layer (WSAStartup 2.2 / WSACleanup); counted, so every owner may start it.
bool StartSockets();
void StopSockets();

// Each returns 0 or the error number; results go through the pointers.
int OpenSocket(bool udp, SocketId* socket);
int CloseSocketId(SocketId socket);
int SetBroadcast(SocketId socket);
// SO_RCVBUF / SO_SNDBUF, or for a datagram socket the largest message size.
int ReceiveBufferSize(SocketId socket, bool udp, int* size);
int SendBufferSize(SocketId socket, bool udp, int* size);
// A connect that is under way answers kWsaWouldBlock.
int ConnectSocket(SocketId socket, SocketAddress to);
int BindSocket(SocketId socket, SocketAddress at);
int ListenSocket(SocketId socket, int backlog);
int AcceptSocket(SocketId listener, SocketId* accepted, SocketAddress* peer);
// Bytes moved through `count`; kWsaWouldBlock when the platform cannot take or give any
// now. A received count of 0 means the peer closed.
int SendBytes(SocketId socket, const char* data, int length, int* count);
int SendBytesTo(SocketId socket, const char* data, int length, SocketAddress to, int* count);
int ReceiveBytes(SocketId socket, char* data, int length, int* count);
int BytesWaiting(SocketId socket, int* count);  // FIONREAD
int PeerAddress(SocketId socket, SocketAddress* peer);
int LocalAddress(SocketId socket, SocketAddress* local);

// inet_addr: kNoAddress for anything but a dotted address.
uint32_t ParseDottedAddress(const std::string& text);
std::string DottedAddress(uint32_t address);
std::string LocalHostName();
// Blocking lookups: kNoAddress / 0 on failure with the error number in *error.
uint32_t ResolveHostNow(const std::string& host, int* error);
std::string NameOfAddress(SocketAddress address, int* error);

// The program's text (UTF-8) and the system's ANSI code page, for peers that send or
// want that; and UTF-8 as UTF-16 bytes (little-endian).
std::string AnsiToUtf8(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);
std::string Utf8ToUtf16Bytes(const std::string& text);

}  // namespace platform
