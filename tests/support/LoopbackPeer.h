// A little server on 127.0.0.1 for the network tests, built on UniSock and served by the
// same message pump as the code under test: it records the exact bytes each connection
// sends and answers once the request is complete (its head and Content-Length body).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/Socket.h"

class LoopbackPeer {
 public:
  enum class AfterReply { kClose, kStayOpen };

  LoopbackPeer();
  ~LoopbackPeer();

  // What every connection is answered with.
  void SetReply(const std::string& reply, AfterReply after = AfterReply::kClose);
  // Called with the request instead of answering at once; it returns the reply.
  void SetResponder(std::function<std::string(const std::string& request)> responder);

  int32_t port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The bytes received on each connection, in the order the connections came.
  const std::vector<std::string>& requests() const { return requests_; }
  int connections() const { return static_cast<int>(requests_.size()); }
  // Connections the client closed before the whole reply was sent.
  int cut_off() const { return cut_off_; }

 private:
  struct Connection;
  void OnRequest(int32_t request_id);
  void OnData(Connection& connection);

  UniSock listener_;
  int32_t port_ = 0;
  std::string reply_;
  AfterReply after_ = AfterReply::kClose;
  std::function<std::string(const std::string&)> responder_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<std::string> requests_;
  int cut_off_ = 0;
};

// Lets messages run until the condition holds or the time (real milliseconds) is up.
bool PumpUntil(const std::function<bool()>& condition, uint32_t limit_milliseconds = 5000);

// A loopback port between 20000 and 32000 (DownloadUrl reads ports as signed 16-bit
// numbers) on which nothing listens now.
int32_t UnusedPort();
