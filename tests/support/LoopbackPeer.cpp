#include "support/LoopbackPeer.h"

#include <random>

#include "platform/events.h"

struct LoopbackPeer::Connection {
  UniSock socket;
  size_t index = 0;
  bool answered = false;
  bool all_sent = false;
  bool counted_cut = false;
};

namespace {

int32_t RandomPort() {
  static std::mt19937 generator(std::random_device{}());
  return std::uniform_int_distribution<int32_t>(20000, 32000)(generator);
}

// A request is whole when its head has ended and the body holds Content-Length bytes.
bool RequestComplete(const std::string& request) {
  size_t head_end = request.find("\r\n\r\n");
  if (head_end == std::string::npos) return false;
  size_t length_at = request.find("Content-Length: ");
  if (length_at == std::string::npos || length_at > head_end) return true;
  size_t length = std::stoul(request.substr(length_at + 16));
  return request.size() >= head_end + 4 + length;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& condition, uint32_t limit_milliseconds) {
  uint32_t start = platform::TickCount();
  while (!condition()) {
    if (platform::TickCount() - start > limit_milliseconds) return false;
    platform::DoEvents();
    if (condition()) return true;
    platform::WaitForEvents(20);
  }
  return true;
}

int32_t UnusedPort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    UniSock probe;
    int32_t port = RandomPort();
    probe.SetLocalPort(port);
    bool failed = false;
    probe.OnStatusChange = [&](int32_t state) { failed = failed || state == kSockError; };
    if (probe.Bind(port, "127.0.0.1") && !failed) return port;
  }
  return 0;
}

LoopbackPeer::LoopbackPeer() {
  for (int attempt = 0; attempt < 50 && port_ == 0; ++attempt) {
    int32_t port = RandomPort();
    bool failed = false;
    listener_.OnStatusChange = [&](int32_t state) { failed = failed || state == kSockError; };
    listener_.SetLocalPort(port);
    if (listener_.Listen() && !failed) {
      port_ = port;
    } else {
      listener_.CloseSocket();
    }
  }
  listener_.OnStatusChange = nullptr;
  listener_.OnConnectionRequest = [this](int32_t request_id) { OnRequest(request_id); };
}

LoopbackPeer::~LoopbackPeer() = default;

void LoopbackPeer::SetReply(const std::string& reply, AfterReply after) {
  reply_ = reply;
  after_ = after;
}

void LoopbackPeer::SetResponder(std::function<std::string(const std::string&)> responder) {
  responder_ = std::move(responder);
}

void LoopbackPeer::OnRequest(int32_t request_id) {
  auto connection = std::make_unique<Connection>();
  Connection& accepted = *connection;
  accepted.index = requests_.size();
  requests_.emplace_back();
  connections_.push_back(std::move(connection));
  accepted.socket.OnDataArrival = [this, &accepted](int32_t) { OnData(accepted); };
  accepted.socket.OnSendComplete = [this, &accepted] {
    if (!accepted.answered) return;
    accepted.all_sent = true;
    if (after_ == AfterReply::kClose) accepted.socket.CloseSocket();
  };
  // The client going away mid-reply shows as a close or as a failed send.
  auto cut = [this, &accepted] {
    if (accepted.answered && !accepted.all_sent && !accepted.counted_cut) {
      accepted.counted_cut = true;
      ++cut_off_;
    }
  };
  accepted.socket.OnClosing = cut;
  accepted.socket.OnError = [cut](int16_t, const std::string&, int32_t, const std::string&,
                                  const std::string&, int32_t, bool&) { cut(); };
  accepted.socket.Accept(request_id);
}

void LoopbackPeer::OnData(Connection& connection) {
  SockVariant data;
  connection.socket.GetData(data, kVbString);
  if (const auto* text = std::get_if<std::string>(&data)) requests_[connection.index] += *text;
  if (connection.answered || !RequestComplete(requests_[connection.index])) return;
  connection.answered = true;
  std::string reply = responder_ ? responder_(requests_[connection.index]) : reply_;
  if (reply.empty()) {
    connection.socket.CloseSocket();
    return;
  }
  connection.socket.SendData(reply);
}
