#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "Handlers.h"
#include "HttpServer.h"
#include "Store.h"

namespace server_test {

// A fresh folder under the temporary directory, removed afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The request texts our program sends, byte for byte.
std::string ClientGet(std::string_view path);
std::string ClientPost(std::string_view path, std::string_view prog, std::string_view err);
std::string ClientPostBody(std::string_view prog, std::string_view err);

struct Exchange {
  std::string response;         // every byte the server sent
  bool closedByServer = false;  // it hung up within the time limit
};

// Connects from `from` (any 127.x address) to 127.0.0.1:port, sends the bytes
// and reads until the server closes, for at most 10 seconds.
Exchange SendRaw(int port, std::string_view bytes, const std::string& from = "127.0.0.1");

// What our program keeps of a reply: after the first blank line, up to the next.
std::string ClientView(std::string_view response);
int StatusCode(std::string_view response);
std::string HeaderValue(std::string_view response, std::string_view name);

// The server in-process on a free loopback port, with its data in `folder`.
class RunningServer {
 public:
  explicit RunningServer(const std::filesystem::path& folder, server::ServerLimits limits = {});
  ~RunningServer();
  int port() const { return port_; }
  server::Store& store() { return *store_; }

 private:
  std::unique_ptr<server::Store> store_;
  std::unique_ptr<server::Handlers> handlers_;
  std::unique_ptr<server::HttpServer> http_;
  std::thread thread_;
  int port_ = -1;
};

}  // namespace server_test
