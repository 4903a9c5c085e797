// UniSock: one IPv4 socket (TCP or UDP) presented as an object with properties, methods
// and events. Nothing blocks: the platform reports readiness as messages, and while the
// caller lets the message pump run, the instance turns them into state changes, buffered
// bytes and events. Events are plain function members; they may call the instance again.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "app/ErrorScope.h"
#include "platform/socket.h"

// An error raised to the caller of a member, with the member it came from.
class UniSockError : public RuntimeError {
 public:
  UniSockError(int number, const std::string& description, std::string source)
      : RuntimeError(number, description), source_(std::move(source)) {}
  const std::string& source() const { return source_; }

 private:
  std::string source_;
};

inline constexpr int kSockErrOutOfMemory = 7;
inline constexpr int kSockErrWrongState = 40006;
inline constexpr int kSockErrBadArgument = 40014;
inline constexpr int kSockErrBadType = 40018;
inline constexpr int kSockErrInvalidOperation = 40020;

// States.
inline constexpr int kSockClosed = 0;
inline constexpr int kSockOpen = 1;
inline constexpr int kSockResolvingHost = 4;
inline constexpr int kSockHostResolved = 5;
inline constexpr int kSockConnecting = 6;
inline constexpr int kSockConnected = 7;
inline constexpr int kSockClosing = 8;
inline constexpr int kSockError = 9;

inline constexpr int kSockTcp = 0;
inline constexpr int kSockUdp = 1;

// Data that goes over the socket. SockObject stands for an object reference, which has
// no bytes to send.
struct SockObject {
  bool operator==(const SockObject&) const = default;
};
using SockVariant = std::variant<std::monostate, std::string, std::vector<uint8_t>, int16_t,
                                 int32_t, float, double, bool, std::vector<std::string>, SockObject>;

// The type numbers GetData understands.
inline constexpr int kVbEmpty = 0;
inline constexpr int kVbInteger = 2;
inline constexpr int kVbLong = 3;
inline constexpr int kVbSingle = 4;
inline constexpr int kVbDouble = 5;
inline constexpr int kVbString = 8;
inline constexpr int kVbObject = 9;
inline constexpr int kVbBoolean = 11;
inline constexpr int kVbStringArray = 8192 + 8;
inline constexpr int kVbByteArray = 8192 + 17;

class UniSock {
 public:
  UniSock();
  ~UniSock();
  UniSock(const UniSock&) = delete;
  UniSock& operator=(const UniSock&) = delete;

  // Events.
  std::function<void()> OnClosing;
  std::function<void()> OnConnect;
  std::function<void(int32_t request_id)> OnConnectionRequest;
  std::function<void(int32_t bytes_total)> OnDataArrival;
  // Leaving cancel_display true (as it comes) shows nothing; false shows a message box.
  std::function<void(int16_t number, const std::string& description, int32_t scode,
                     const std::string& source, const std::string& help_file,
                     int32_t help_context, bool& cancel_display)>
      OnError;
  std::function<void()> OnSendComplete;
  std::function<void(int32_t bytes_sent, int32_t bytes_remaining)> OnSendProgress;
  std::function<void(int32_t state)> OnStatusChange;
  // The line (UTF-8; a line that was not is read in the ANSI code page), its break as
  // LineChange numbers it, and whether it came as UTF-8.
  std::function<void(const std::string& text, int32_t line_break, bool from_utf8)> OnTextArrival;

  // Methods.
  bool Accept(int32_t request_id);
  bool Bind(int32_t local_port = 0, const std::string& local_ip = "");
  int32_t BytesReceived();
  bool CloseSocket();
  bool Connect(const std::string& remote_host = "", int32_t remote_port = 0);
  bool GetData(SockVariant& data, int var_type = kVbString, int32_t max_length = 0);
  bool Listen();
  std::string LocalHostname();
  std::string LocalIP();
  bool PeekData(SockVariant& data, int var_type = kVbString, int32_t max_length = 0);
  std::string RemoteHostIP() const;
  uint32_t RemoteIP() const { return remote_address_; }
  std::string RequestHost();
  std::string RequestIP() const;
  int32_t RequestPort() const;
  bool SendData(const SockVariant& data);
  // Text and LineTerminator as UTF-8, the program's own text (format 0), in the ANSI
  // code page (1), or as UTF-16 (any other).
  bool SendText(const std::string& text, int text_format = 0);
  platform::SocketId SocketHandle() const { return socket_; }
  int32_t State() const { return state_; }

  // Properties.
  int32_t LineChange() const;
  void SetLineChange(int32_t value);
  int32_t LocalPort() const { return bound_port_ ? bound_port_ : local_port_; }
  void SetLocalPort(int32_t value);
  int32_t Mode() const { return mode_; }
  void SetMode(int32_t value) { mode_ = value; }
  int32_t Protocol() const { return protocol_; }
  void SetProtocol(int32_t value);
  const std::string& RemoteHost() const { return remote_host_; }
  void SetRemoteHost(const std::string& value);
  int32_t RemotePort() const { return remote_port_; }
  void SetRemotePort(int32_t value);

  // The fixed English text for an error number, "" for one not listed.
  static std::string ErrorText(int number);

 private:
  void ChangeState(int new_state, const std::string& source = "", int error = 0,
                   const std::string& description = "");
  bool ConnectIP(uint32_t address);
  bool Private_Bind(int32_t local_port, const std::string& local_ip);
  std::string Private_LocalHostName();
  uint32_t Private_LocalIP(const std::string& local_ip);
  void Private_Message(int event);
  void WndProc(platform::SocketId socket, int event, int error);
  void OnLookupReply(int error, uint32_t address);

  bool CreateSocket(const std::string& source);
  bool ReadPieceSizes(const std::string& source);
  void ReceiveRequestText();
  void ReceivePiece();
  void AnnounceReceived(int32_t count);
  void CutLines();
  void SendQueued();
  bool QueueBytes(const std::string& bytes);
  bool TakeData(SockVariant& data, int var_type, int32_t max_length, bool peek);
  void DropRequest();

  uint32_t id_;
  std::unique_ptr<platform::SocketNotifier> notifier_;
  bool sockets_started_ = false;

  platform::SocketId socket_ = platform::kNoSocket;
  int32_t state_ = kSockClosed;
  int32_t protocol_ = kSockTcp;
  int32_t mode_ = 0;
  std::string line_terminator_ = "\r\n";
  std::string remote_host_;
  int32_t remote_port_ = 80;
  uint32_t remote_address_ = 0;
  int32_t local_port_ = 0;
  int32_t bound_port_ = 0;
  std::string local_ip_text_;
  std::string receive_buffer_;
  int receive_piece_ = 8192;
  std::string send_buffer_;
  int send_piece_ = 8192;
  platform::SocketId request_socket_ = platform::kNoSocket;
  std::string request_text_;
  platform::SocketAddress request_address_;
  bool has_request_address_ = false;
  // Accepted sockets handed to other instances: handle -> the owner's id.
  std::map<platform::SocketId, uint32_t> socket_owners_;
};
