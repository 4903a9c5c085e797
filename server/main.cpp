// runwarden-server: the community web service that Runwarden talks to.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "CommandLine.h"
#include "Handlers.h"
#include "HttpServer.h"
#include "Store.h"

namespace {

constexpr int kUsageExit = 2;
// Error reports past their age are dropped this often (and whenever one arrives).
constexpr std::chrono::minutes kTrimInterval{10};

void PrintLine(const std::string& line) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

int Serve(const server::ServerOptions& options) {
  // The signals are taken by one waiting thread, not by a handler: stopping the
  // server is nothing a signal handler may do.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A file that reaches the size limit fails its write (the database says so)
  // instead of killing the server.
  signal(SIGXFSZ, SIG_IGN);

  const std::filesystem::path data = options.dataFolder;
  std::error_code error;
  std::filesystem::create_directories(data / "updates", error);
  if (error) {
    std::fprintf(stderr, "runwarden-server: cannot create %s: %s\n", data.c_str(), error.message().c_str());
    return 1;
  }

  std::unique_ptr<server::Store> store;
  try {
    store = server::OpenStore({options.database, data});
  } catch (const server::StoreError& failure) {
    std::fprintf(stderr, "runwarden-server: %s\n", failure.what());
    return 1;
  }

  server::Handlers handlers(*store, data, options.policy, [] { return std::chrono::system_clock::now(); },
                            PrintLine);
  handlers.TrimErrorReports();

  server::ServerLimits limits;
  limits.connectionsPerAddress = options.connectionsPerAddress;
  limits.trustedProxies = options.trustedProxies;
  // PostgreSQL takes writes side by side; SQLite takes them one at a time anyway.
  limits.writeWorkers = options.database.empty() ? 2 : 8;
  server::HttpServer http(handlers, limits, PrintLine);
  const int port = http.Bind(options.address, options.port);
  if (port < 0) {
    std::fprintf(stderr, "runwarden-server: cannot listen on %s:%d\n", options.address.c_str(), options.port);
    return 1;
  }

  std::atomic<bool> finished = false;
  std::thread stopper([&http, &handlers, &finished, stopSignals] {
    const timespec pause{0, 200 * 1000 * 1000};
    auto nextTrim = std::chrono::steady_clock::now() + kTrimInterval;
    while (!finished) {
      const int received = sigtimedwait(&stopSignals, nullptr, &pause);
      if (received > 0) {
        PrintLine("stopping on signal " + std::to_string(received));
        http.Stop();
        return;
      }
      if (std::chrono::steady_clock::now() >= nextTrim) {
        handlers.TrimErrorReports();
        nextTrim = std::chrono::steady_clock::now() + kTrimInterval;
      }
    }
  });

  PrintLine("runwarden-server listening on " + options.address + ":" + std::to_string(port) + ", data in " +
            data.string() + (options.database.empty() ? "" : ", " + store->Describe()));
  const bool served = http.Run();
  finished = true;
  stopper.join();
  PrintLine("runwarden-server stopped");
  return served ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const auto commandLine = server::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (commandLine.action) {
    case server::CommandLine::Action::kHelp:
      std::fputs(server::UsageText().c_str(), stdout);
      return 0;
    case server::CommandLine::Action::kUsageError:
      std::fprintf(stderr, "runwarden-server: %s\n\n%s", commandLine.error.c_str(), server::UsageText().c_str());
      return kUsageExit;
    case server::CommandLine::Action::kServe:
      break;
  }
  return Serve(commandLine.options);
}
