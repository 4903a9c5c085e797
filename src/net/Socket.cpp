#include "net/Socket.h"

#include <cstring>

#include "platform/window.h"

namespace {

// Every instance has a number that names it to the platform (its notification window's
// title) and to Accept; a pointer would not fit the 32-bit request id on 64-bit builds.
uint32_t g_next_id = 0x00010000;

std::map<uint32_t, UniSock*>& Instances() {
  static std::map<uint32_t, UniSock*> instances;
  return instances;
}

constexpr int kListenBacklog = 5;

[[noreturn]] void RaiseError(int number, const std::string& source) {
  throw UniSockError(number, UniSock::ErrorText(number), source);
}

// Lead bytes announce how many continuation bytes (10xxxxxx) follow.
bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = text[i];
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
    if (extra < 0) return false;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += extra + 1;
  }
  return true;
}

template <class T>
std::string BytesOf(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class T>
T ValueOf(const std::string& bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
  return value;
}

// The fixed width of a number type, 0 for types taken whole.
size_t WidthOf(int var_type) {
  switch (var_type) {
    case kVbInteger: return 2;
    case kVbLong: return 4;
    case kVbSingle: return 4;
    case kVbDouble: return 8;
    case kVbBoolean: return 2;
    default: return 0;
  }
}

int TypeOf(const SockVariant& data) {
  switch (data.index()) {
    case 0: return kVbEmpty;
    case 1: return kVbString;
    case 2: return kVbByteArray;
    case 3: return kVbInteger;
    case 4: return kVbLong;
    case 5: return kVbSingle;
    case 6: return kVbDouble;
    case 7: return kVbBoolean;
    case 8: return kVbStringArray;
    default: return kVbObject;
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::string separator = text.find("\r\n") != std::string::npos ? "\r\n"
                          : text.find('\n') != std::string::npos ? "\n"
                                                                  : "\r";
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t cut; (cut = text.find(separator, start)) != std::string::npos;) {
    lines.push_back(text.substr(start, cut - start));
    start = cut + separator.size();
  }
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

UniSock::UniSock() : id_(g_next_id++) {
  Instances()[id_] = this;
  notifier_ = platform::CreateSocketNotifier(
      id_, [this](platform::SocketId socket, int event, int error) { WndProc(socket, event, error); },
      [this](int error, uint32_t address) { OnLookupReply(error, address); });
  if (notifier_) sockets_started_ = platform::StartSockets();
}

UniSock::~UniSock() {
  // No events from here on: the owner may be going away with us.
  OnClosing = nullptr;
  OnStatusChange = nullptr;
  OnError = nullptr;
  CloseSocket();
  if (socket_ != platform::kNoSocket) platform::CloseSocketId(socket_);
  notifier_.reset();
  if (sockets_started_) platform::StopSockets();
  Instances().erase(id_);
}

// ---- State and errors ----

void UniSock::ChangeState(int new_state, const std::string& source, int error,
                          const std::string& description) {
  if (new_state != kSockError) state_ = new_state;
  if (OnStatusChange) OnStatusChange(new_state);
  if (error == 0) return;
  std::string text = description.empty() ? ErrorText(error) : description;
  std::string full_source = source.empty() ? "UniSock" : "UniSock." + source;
  bool cancel_display = true;
  if (OnError) OnError(static_cast<int16_t>(error), text, 0, full_source, "", 0, cancel_display);
  if (!cancel_display) platform::ShowMessageBox(text, full_source, platform::kMbIconExclamation);
}

// ---- Connecting ----

bool UniSock::ReadPieceSizes(const std::string& source) {
  bool udp = protocol_ == kSockUdp;
  int error = platform::ReceiveBufferSize(socket_, udp, &receive_piece_);
  if (!error) error = platform::SendBufferSize(socket_, udp, &send_piece_);
  if (receive_piece_ < 1) receive_piece_ = 8192;
  if (send_piece_ < 1) send_piece_ = 8192;
  if (error) ChangeState(kSockError, source, error);
  return error == 0;
}

bool UniSock::CreateSocket(const std::string& source) {
  if (socket_ != platform::kNoSocket) return true;
  bool udp = protocol_ == kSockUdp;
  int error = platform::OpenSocket(udp, &socket_);
  if (error) {
    socket_ = platform::kNoSocket;
    ChangeState(kSockError, source, error);
    return false;
  }
  if (udp) error = platform::SetBroadcast(socket_);
  if (!error && !ReadPieceSizes(source)) return false;
  if (!error) error = notifier_->Select(socket_, platform::kSockAllEvents);
  if (error) {
    ChangeState(kSockError, source, error);
    return false;
  }
  return true;
}

bool UniSock::Connect(const std::string& remote_host, int32_t remote_port) {
  if (!sockets_started_) {
    ChangeState(kSockError, "Connect");
    return false;
  }
  if (!remote_host.empty()) remote_host_ = remote_host;
  if (remote_port > 0 && remote_port < 65536) remote_port_ = remote_port;
  if (remote_host_.empty()) {
    ChangeState(kSockError, "Connect");
    return false;
  }
  if (!CreateSocket("Connect")) return false;
  if (protocol_ == kSockUdp) return Private_Bind(0, "");

  uint32_t address = platform::ParseDottedAddress(remote_host_);
  if (address != platform::kNoAddress) return ConnectIP(address);
  int error = notifier_->StartLookup(remote_host_);
  if (error) {
    ChangeState(kSockError, "Connect", error);
    return false;
  }
  ChangeState(kSockResolvingHost);
  return true;
}

bool UniSock::ConnectIP(uint32_t address) {
  int error = !sockets_started_                                ? platform::kWsaNotInitialised
              : socket_ == platform::kNoSocket                 ? 10038
              : (remote_port_ <= 0 || remote_port_ >= 65536)   ? 10022
                                                               : 0;
  if (error) {
    ChangeState(kSockError, "ConnectIP", error);
    return false;
  }
  ChangeState(kSockConnecting);
  remote_address_ = address;
  error = platform::ConnectSocket(
      socket_, platform::SocketAddress{address, static_cast<uint16_t>(remote_port_)});
  if (error == 0 || error == platform::kWsaWouldBlock) return true;
  if (error == platform::kWsaAddressNotAvailable) RaiseError(error, "UniSock.ConnectIP");
  ChangeState(kSockError, "ConnectIP", error);
  return false;
}

void UniSock::OnLookupReply(int error, uint32_t address) {
  if (error) {
    ChangeState(kSockError, "Connect", error);
    return;
  }
  ChangeState(kSockHostResolved);
  ConnectIP(address);
}

// ---- Binding and listening ----

uint32_t UniSock::Private_LocalIP(const std::string& local_ip) {
  if (local_ip.empty()) return 0;  // any local address
  uint32_t address = platform::ParseDottedAddress(local_ip);
  if (address != platform::kNoAddress) return address;
  int error = 0;
  address = platform::ResolveHostNow(local_ip, &error);
  return error ? 0 : address;
}

std::string UniSock::Private_LocalHostName() { return platform::LocalHostName(); }

bool UniSock::Private_Bind(int32_t local_port, const std::string& local_ip) {
  if (state_ == kSockOpen) return true;
  if (socket_ == platform::kNoSocket) return false;
  if (bound_port_ != 0) return true;  // bound already to a port the platform chose
  if (local_port < 1 || local_port > 65535) local_port = local_port_;
  uint32_t address = Private_LocalIP(local_ip);
  int error = platform::BindSocket(
      socket_, platform::SocketAddress{address, static_cast<uint16_t>(local_port)});
  if (error) {
    ChangeState(kSockError, "Private_Bind", error);
    return false;
  }
  local_ip_text_ = platform::DottedAddress(address);
  if (local_port != 0) {
    local_port_ = local_port;
    ChangeState(kSockOpen);
    return true;
  }
  platform::SocketAddress chosen;
  error = platform::LocalAddress(socket_, &chosen);
  if (error) {
    ChangeState(kSockError, "Private_Bind", error);
    return false;
  }
  bound_port_ = chosen.port;
  return true;
}

bool UniSock::Bind(int32_t local_port, const std::string& local_ip) {
  if (!CreateSocket("Bind")) return false;
  return Private_Bind(local_port, local_ip);
}

bool UniSock::Listen() {
  if (state_ != kSockClosed && state_ != kSockOpen) RaiseError(kSockErrInvalidOperation, "UniSock.Listen");
  if (!CreateSocket("Listen")) return false;
  if (!Private_Bind(local_port_, "")) return false;
  int error = platform::ListenSocket(socket_, kListenBacklog);
  if (error) {
    ChangeState(kSockError, "Listen", error);
    return false;
  }
  return true;
}

bool UniSock::Accept(int32_t request_id) {
  if (state_ != kSockClosed || request_id == 0) RaiseError(kSockErrInvalidOperation, "UniSock.Accept");
  auto found = Instances().find(static_cast<uint32_t>(request_id));
  if (found == Instances().end() || found->second == this ||
      found->second->request_socket_ == platform::kNoSocket)
    RaiseError(kSockErrBadArgument, "UniSock.Accept");

  UniSock& listener = *found->second;
  socket_ = listener.request_socket_;
  platform::SocketAddress peer = listener.request_address_;
  receive_buffer_ = listener.request_text_;
  listener.socket_owners_[socket_] = id_;
  listener.request_socket_ = platform::kNoSocket;
  listener.request_text_.clear();
  listener.has_request_address_ = false;

  if (!ReadPieceSizes("Accept")) return true;
  int error = notifier_->Select(socket_, platform::kSockAllEvents);
  if (error) ChangeState(kSockError, "Accept", error);
  platform::SocketAddress local;
  error = platform::LocalAddress(socket_, &local);
  if (error) {
    ChangeState(kSockError, "Accept", error);
  } else {
    local_ip_text_ = platform::DottedAddress(local.address);
    bound_port_ = local.port;
  }
  request_address_ = peer;
  has_request_address_ = true;
  remote_host_ = RequestHost();
  remote_address_ = peer.address;
  remote_port_ = peer.port;
  has_request_address_ = false;
  request_address_ = {};
  ChangeState(kSockConnected);
  if (OnConnect) OnConnect();
  if (!receive_buffer_.empty()) AnnounceReceived(static_cast<int32_t>(receive_buffer_.size()));
  return true;
}

// ---- Closing ----

void UniSock::DropRequest() {
  if (request_socket_ != platform::kNoSocket) platform::CloseSocketId(request_socket_);
  request_socket_ = platform::kNoSocket;
  request_text_.clear();
  request_address_ = {};
  has_request_address_ = false;
}

bool UniSock::CloseSocket() {
  if (state_ == kSockClosed && socket_ == platform::kNoSocket) return false;
  ChangeState(kSockClosing);
  notifier_->CancelLookup();
  bool closed = false;
  if (socket_ != platform::kNoSocket) {
    int error = platform::CloseSocketId(socket_);
    socket_ = platform::kNoSocket;
    if (error) ChangeState(kSockError, "CloseSocket", error);
    closed = error == 0;
  }
  receive_buffer_.clear();
  send_buffer_.clear();
  local_ip_text_.clear();
  local_port_ = 0;
  bound_port_ = 0;
  DropRequest();
  socket_owners_.clear();
  ChangeState(kSockClosed);
  return closed;
}

// ---- Notifications ----

void UniSock::WndProc(platform::SocketId socket, int event, int error) {
  if (socket == socket_ && socket_ != platform::kNoSocket) {
    if (error) {
      ChangeState(kSockError, "WndProc", error);
      return;
    }
    Private_Message(event);
    return;
  }
  if (socket == request_socket_ && request_socket_ != platform::kNoSocket) {
    if (error) {
      ChangeState(kSockError, "WndProc", error);
      return;
    }
    if (event == platform::kSockRead) ReceiveRequestText();
    return;
  }
  auto owner = socket_owners_.find(socket);
  if (owner == socket_owners_.end()) return;
  auto instance = Instances().find(owner->second);
  if (instance != Instances().end()) instance->second->notifier_->Post(socket, event, error);
}

void UniSock::ReceiveRequestText() {
  std::string piece(receive_piece_, '\0');
  int count = 0;
  int error = platform::ReceiveBytes(request_socket_, piece.data(), receive_piece_, &count);
  if (error == platform::kWsaWouldBlock) return;
  if (error) {
    ChangeState(kSockError, "WndProc", error);
    return;
  }
  request_text_.append(piece, 0, count);
}

void UniSock::Private_Message(int event) {
  switch (event) {
    case platform::kSockAccept: {
      DropRequest();
      platform::SocketAddress peer;
      int error = platform::AcceptSocket(socket_, &request_socket_, &peer);
      if (error) {
        request_socket_ = platform::kNoSocket;
        ChangeState(kSockError, "Private_Message", error);
        return;
      }
      request_address_ = peer;
      has_request_address_ = true;
      if (OnConnectionRequest) OnConnectionRequest(static_cast<int32_t>(id_));
      DropRequest();  // nobody took it: it must not stay open
      return;
    }
    case platform::kSockConnect: {
      platform::SocketAddress peer;
      int error = platform::PeerAddress(socket_, &peer);
      if (error) {
        ChangeState(kSockError, "Private_Message", error);
        return;
      }
      remote_address_ = peer.address;
      remote_port_ = peer.port;
      ChangeState(kSockConnected);
      if (OnConnect) OnConnect();
      return;
    }
    case platform::kSockClose: {
      // Whatever the peer sent before closing is still announced.
      platform::SocketId closing = socket_;
      for (int waiting = 0; socket_ == closing && protocol_ == kSockTcp &&
                            platform::BytesWaiting(socket_, &waiting) == 0 && waiting > 0;)
        ReceivePiece();
      if (socket_ != closing) return;
      if (OnClosing) OnClosing();
      if (socket_ == closing) CloseSocket();
      return;
    }
    case platform::kSockRead:
      if (protocol_ == kSockUdp) {
        AnnounceReceived(BytesReceived());
        return;
      }
      ReceivePiece();
      return;
    case platform::kSockWrite:
      SendQueued();
      return;
    default:
      return;
  }
}

void UniSock::ReceivePiece() {
  size_t before = receive_buffer_.size();
  receive_buffer_.resize(before + receive_piece_);
  int count = 0;
  int error = platform::ReceiveBytes(socket_, receive_buffer_.data() + before, receive_piece_, &count);
  receive_buffer_.resize(before + count);
  if (error == platform::kWsaWouldBlock) return;
  if (error) {
    ChangeState(kSockError, "Private_Message", error);
    return;
  }
  if (count > 0) AnnounceReceived(count);
}

void UniSock::AnnounceReceived(int32_t count) {
  if (mode_ == 0) {
    if (OnDataArrival) OnDataArrival(count);
    return;
  }
  CutLines();
}

// Text mode: complete lines are handed out one by one; an unfinished last piece waits
// for the rest. CR LF is looked for first, then LF, then CR.
void UniSock::CutLines() {
  for (;;) {
    std::string separator;
    int kind = 0;
    if (receive_buffer_.find("\r\n") != std::string::npos) {
      separator = "\r\n";
      kind = 1;
    } else if (receive_buffer_.find('\n') != std::string::npos) {
      separator = "\n";
      kind = 2;
    } else if (receive_buffer_.find('\r') != std::string::npos) {
      separator = "\r";
      kind = 3;
    } else {
      return;
    }
    size_t cut = receive_buffer_.find(separator);
    std::string line = receive_buffer_.substr(0, cut);
    receive_buffer_.erase(0, cut + separator.size());
    // The program's text is UTF-8: a line that is not is taken as the ANSI code page.
    bool utf8 = IsValidUtf8(line);
    if (!utf8) line = platform::AnsiToUtf8(line);
    platform::SocketId current = socket_;
    if (OnTextArrival) OnTextArrival(line, kind, utf8);
    if (socket_ != current) return;
  }
}

void UniSock::SendQueued() {
  if (send_buffer_.empty()) return;
  if (protocol_ == kSockUdp) {
    uint32_t address = platform::ParseDottedAddress(remote_host_);
    int error = 0;
    if (address == platform::kNoAddress) address = platform::ResolveHostNow(remote_host_, &error);
    int count = 0;
    if (!error)
      error = platform::SendBytesTo(socket_, send_buffer_.data(), static_cast<int>(send_buffer_.size()),
                                    {address, static_cast<uint16_t>(remote_port_)}, &count);
    if (error) {
      ChangeState(kSockError, "Private_Message", error);
      return;
    }
  } else {
    size_t position = 0;
    while (position < send_buffer_.size()) {
      int piece = static_cast<int>(std::min<size_t>(send_piece_, send_buffer_.size() - position));
      int count = 0;
      int error = platform::SendBytes(socket_, send_buffer_.data() + position, piece, &count);
      if (error == platform::kWsaWouldBlock) {
        send_buffer_.erase(0, position);
        if (OnSendProgress)
          OnSendProgress(static_cast<int32_t>(position), static_cast<int32_t>(send_buffer_.size()));
        return;
      }
      if (error) {
        ChangeState(kSockError, "Private_Message", error);
        return;
      }
      position += count;
    }
  }
  int32_t total = static_cast<int32_t>(send_buffer_.size());
  send_buffer_.clear();
  if (OnSendProgress) OnSendProgress(total, 0);
  if (OnSendComplete) OnSendComplete();
}

// ---- Sending and receiving ----

bool UniSock::QueueBytes(const std::string& bytes) {
  if (bytes.empty()) return false;
  send_buffer_ += bytes;
  Private_Message(platform::kSockWrite);
  return true;
}

bool UniSock::SendData(const SockVariant& data) {
  if (protocol_ == kSockTcp && state_ != kSockConnected) RaiseError(kSockErrWrongState, "UniSock.SendData");
  if (protocol_ == kSockUdp && state_ != kSockOpen && bound_port_ == 0 && !Connect()) return false;
  std::string bytes;
  switch (TypeOf(data)) {
    case kVbEmpty: return false;
    case kVbString: bytes = std::get<std::string>(data); break;
    case kVbByteArray: {
      const auto& array = std::get<std::vector<uint8_t>>(data);
      bytes.assign(array.begin(), array.end());
      break;
    }
    case kVbInteger: bytes = BytesOf(std::get<int16_t>(data)); break;
    case kVbLong: bytes = BytesOf(std::get<int32_t>(data)); break;
    case kVbSingle: bytes = BytesOf(std::get<float>(data)); break;
    case kVbDouble: bytes = BytesOf(std::get<double>(data)); break;
    case kVbBoolean: bytes = BytesOf(static_cast<int16_t>(std::get<bool>(data) ? -1 : 0)); break;
    default: RaiseError(kSockErrBadType, "SendData");
  }
  return QueueBytes(bytes);
}

bool UniSock::SendText(const std::string& text, int text_format) {
  std::string line = text + line_terminator_;
  if (text_format == 0) return QueueBytes(line);  // the program's own UTF-8
  if (text_format == 1) return QueueBytes(platform::Utf8ToAnsi(line));
  return QueueBytes(platform::Utf8ToUtf16Bytes(line));
}

bool UniSock::GetData(SockVariant& data, int var_type, int32_t max_length) {
  return TakeData(data, var_type, max_length, false);
}

bool UniSock::PeekData(SockVariant& data, int var_type, int32_t max_length) {
  return TakeData(data, var_type, max_length, true);
}

bool UniSock::TakeData(SockVariant& data, int var_type, int32_t max_length, bool peek) {
  std::string source = peek ? "UniSock.PeekData" : "UniSock.GetData";
  bool tcp_ready = protocol_ == kSockTcp && mode_ == 0 && state_ == kSockConnected;
  bool udp_ready = protocol_ == kSockUdp && socket_ != platform::kNoSocket &&
                   (state_ == kSockOpen || bound_port_ != 0);
  if (!tcp_ready && !udp_ready) RaiseError(kSockErrWrongState, source);
  if (TypeOf(data) != kVbEmpty) var_type = TypeOf(data);

  std::string available;
  if (protocol_ == kSockUdp) {
    // A datagram is read from the platform whole; peeking is not offered for it.
    std::string piece(receive_piece_, '\0');
    int count = 0;
    int error = platform::ReceiveBytes(socket_, piece.data(), receive_piece_, &count);
    if (error && error != platform::kWsaWouldBlock) {
      ChangeState(kSockError, "GetData", error);
      return false;
    }
    available = piece.substr(0, count);
  } else {
    available = receive_buffer_;
  }

  size_t take = max_length < 1 ? available.size()
                               : std::min<size_t>(max_length, available.size());
  if (size_t width = WidthOf(var_type); width && take > width) take = width;
  if (take == 0) return false;
  std::string bytes = available.substr(0, take);
  switch (var_type) {
    case kVbString: data = bytes; break;
    case kVbByteArray: data = std::vector<uint8_t>(bytes.begin(), bytes.end()); break;
    case kVbInteger: data = ValueOf<int16_t>(bytes); break;
    case kVbLong: data = ValueOf<int32_t>(bytes); break;
    case kVbSingle: data = ValueOf<float>(bytes); break;
    case kVbDouble: data = ValueOf<double>(bytes); break;
    case kVbBoolean: data = ValueOf<int16_t>(bytes) != 0; break;
    case kVbStringArray: data = SplitLines(bytes); break;
    default: RaiseError(kSockErrBadType, source);
  }
  if (!peek && protocol_ == kSockTcp) receive_buffer_.erase(0, take);
  return true;
}

int32_t UniSock::BytesReceived() {
  if (protocol_ == kSockTcp) return static_cast<int32_t>(receive_buffer_.size());
  int waiting = 0;
  if (socket_ == platform::kNoSocket || platform::BytesWaiting(socket_, &waiting) != 0) return 0;
  return waiting;
}

// ---- Names and addresses ----

std::string UniSock::LocalHostname() { return Private_LocalHostName(); }

std::string UniSock::LocalIP() {
  if (state_ == kSockOpen) return local_ip_text_;
  int error = 0;
  uint32_t address = platform::ResolveHostNow(Private_LocalHostName(), &error);
  return error ? "" : platform::DottedAddress(address);
}

std::string UniSock::RemoteHostIP() const { return platform::DottedAddress(remote_address_); }

std::string UniSock::RequestHost() {
  if (!has_request_address_) return "";
  int error = 0;
  std::string name = platform::NameOfAddress(request_address_, &error);
  if (error) {
    ChangeState(kSockError, "RequestHost", error);
    return "";
  }
  return name.substr(0, name.find('\0'));
}

std::string UniSock::RequestIP() const {
  return has_request_address_ ? platform::DottedAddress(request_address_.address) : "";
}

int32_t UniSock::RequestPort() const { return has_request_address_ ? request_address_.port : 0; }

// ---- Properties ----

int32_t UniSock::LineChange() const {
  if (line_terminator_ == "\r\n") return 1;
  if (line_terminator_ == "\n") return 2;
  if (line_terminator_ == "\r") return 3;
  return 0;
}

void UniSock::SetLineChange(int32_t value) {
  static const char* const kTerminators[] = {"", "\r\n", "\n", "\r"};
  if (value < 0 || value > 3) RaiseError(kSockErrBadArgument, "UniSock.LineChange");
  line_terminator_ = kTerminators[value];
}

void UniSock::SetLocalPort(int32_t value) {
  if (state_ != kSockClosed) RaiseError(kSockErrInvalidOperation, "UniSock.LocalPort");
  if (value < 0 || value > 65535) RaiseError(kSockErrBadArgument, "UniSock.LocalPort");
  local_port_ = value;
}

void UniSock::SetProtocol(int32_t value) {
  if (state_ != kSockClosed) RaiseError(kSockErrInvalidOperation, "UniSock.Protocol");
  if (value != kSockTcp && value != kSockUdp) RaiseError(kSockErrBadArgument, "UniSock.Protocol");
  protocol_ = value;
}

void UniSock::SetRemoteHost(const std::string& value) {
  if (protocol_ == kSockTcp && state_ != kSockClosed) RaiseError(kSockErrInvalidOperation, "UniSock.RemoteHost");
  remote_host_ = value;
}

void UniSock::SetRemotePort(int32_t value) {
  if (protocol_ == kSockTcp && state_ != kSockClosed) RaiseError(kSockErrInvalidOperation, "UniSock.RemotePort");
  if (value < 0 || value > 65535) RaiseError(kSockErrBadArgument, "UniSock.RemotePort");
  remote_port_ = value;
}

// ---- Error texts ----

std::string UniSock::ErrorText(int number) {
  static const std::map<int, const char*> kTexts = {
      {6, "Specified event object handle is invalid."},
      {7, "Out of memory."},
      {8, "Insufficient memory available."},
      {87, "One or more parameters are invalid."},
      {380, "Invalid property value."},
      {383, "Property is read-only."},
      {394, "Property is write-only."},
      {995, "Overlapped operation aborted."},
      {996, "Overlapped I/O event object not in signaled state."},
      {997, "Overlapped operations will complete later."},
      {10004, "Interrupted function call."},
      {10009, "File handle is not valid."},
      {10013, "Permission denied."},
      {10014, "Bad address."},
      {10022, "Invalid argument."},
      {10024, "Too many open files."},
      {10035, "Resource temporarily unavailable."},
      {10036, "Operation now in progress."},
      {10037, "Operation already in progress."},
      {10038, "Socket operation on nonsocket."},
      {10039, "Destination address required."},
      {10040, "Message too long."},
      {10041, "Protocol wrong type for socket."},
      {10042, "Bad protocol option."},
      {10043, "Protocol not supported."},
      {10044, "Socket type not supported."},
      {10045, "Operation not supported."},
      {10046, "Protocol family not supported."},
      {10047, "Address family not supported by protocol family."},
      {10048, "Address already in use."},
      {10049, "Cannot assign requested address."},
      {10050, "Network is down."},
      {10051, "Network is unreachable."},
      {10052, "Network dropped connection on reset."},
      {10053, "Software caused connection abort."},
      {10054, "Connection reset by peer."},
      {10055, "No buffer space available."},
      {10056, "Socket is already connected."},
      {10057, "Socket is not connected."},
      {10058, "Cannot send after socket shutdown."},
      {10059, "Too many references."},
      {10060, "Connection timed out."},
      {10061, "Connection refused."},
      {10062, "Cannot translate name."},
      {10063, "Name too long."},
      {10064, "Host is down."},
      {10065, "No route to host."},
      {10066, "Directory not empty."},
      {10067, "Too many processes."},
      {10068, "User quota exceeded."},
      {10069, "Disk quota exceeded."},
      {10070, "Stale file handle reference."},
      {10071, "Item is remote."},
      {10091, "Network subsystem is unavailable."},
      {10092, "Winsock.dll version out of range."},
      {10093, "Successful WSAStartup not yet performed."},
      {10101, "Graceful shutdown in progress."},
      {10102, "No more results."},
      {10103, "Call has been canceled."},
      {10104, "Procedure call table is invalid."},
      {10105, "Service provider is invalid."},
      {10106, "Service provider failed to initialize."},
      {10107, "System call failure."},
      {10108, "Service not found."},
      {10109, "Class type not found."},
      {10110, "No more results."},
      {10111, "Call was canceled."},
      {10112, "Database query was refused."},
      {11001, "Host not found."},
      {11002, "Nonauthoritative host not found."},
      {11003, "This is a nonrecoverable error."},
      {11004, "Valid name, no data record of requested type."},
      {11005, "QoS receivers."},
      {11006, "QoS senders."},
      {11007, "No QoS senders."},
      {11008, "QoS no receivers."},
      {11009, "QoS request confirmed."},
      {11010, "QoS admission error."},
      {11011, "QoS policy failure."},
      {11012, "QoS bad style."},
      {11013, "QoS bad object."},
      {11014, "QoS traffic control error."},
      {11015, "QoS generic error."},
      {11016, "QoS service type error."},
      {11017, "QoS flowspec error."},
      {11018, "Invalid QoS provider buffer."},
      {11019, "Invalid QoS filter style."},
      {11020, "Invalid QoS filter type."},
      {11021, "Incorrect QoS filter count."},
      {11022, "Invalid QoS object length."},
      {11023, "Incorrect QoS flow count."},
      {11024, "Unrecognized QoS object."},
      {11025, "Invalid QoS policy object."},
      {11026, "Invalid QoS flow descriptor."},
      {11027, "Invalid QoS provider-specific flowspec."},
      {11028, "Invalid QoS provider-specific filterspec."},
      {11029, "Invalid QoS shape discard mode object."},
      {11030, "Invalid QoS shaping rate object."},
      {11031, "Reserved policy QoS element type."},
      {40006, "Wrong protocol or connection state for the requested transaction or request."},
      {40014, "The argument passed to a function was not in the correct format or in the specified range."},
      {40017, "Successful."},
      {40018, "Unsupported variant types."},
      {40020, "Invalid operation at current state."},
      {40021, "Argument is out of range."},
      {40026, "Wrong protocol for the requested transaction or request."},
  };
  auto found = kTexts.find(number);
  return found == kTexts.end() ? "" : found->second;
}
