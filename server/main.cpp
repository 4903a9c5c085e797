// runwarden-server: the community web service that Runwarden talks to.
#include <pthread.h>
#include <signal.h>

#include <atomic>
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

  const std::filesystem::path data = options.dataFolder;
  std::error_code error;
  std::filesystem::create_directories(data / "updates", error);
  if (error) {
    std::fprintf(stderr, "runwarden-server: cannot create %s: %s\n", data.c_str(), error.message().c_str());
    return 1;
  }

  try {
    server::Store store(data / "runwarden.sqlite");
    server::Handlers handlers(store, data);
    server::HttpServer http(handlers, {}, PrintLine);
    const int port = http.Bind(options.address, options.port);
    if (port < 0) {
      std::fprintf(stderr, "runwarden-server: cannot listen on %s:%d\n", options.address.c_str(), options.port);
      return 1;
    }

    std::atomic<bool> finished = false;
    std::thread stopper([&http, &finished, stopSignals] {
      const timespec pause{0, 200 * 1000 * 1000};
      while (!finished) {
        const int received = sigtimedwait(&stopSignals, nullptr, &pause);
        if (received <= 0) continue;
        PrintLine("stopping on signal " + std::to_string(received));
        http.Stop();
        return;
      }
    });

    PrintLine("runwarden-server listening on " + options.address + ":" + std::to_string(port) + ", data in " +
              data.string());
    const bool served = http.Run();
    finished = true;
    stopper.join();
    PrintLine("runwarden-server stopped");
    return served ? 0 : 1;
  } catch (const server::StoreError& failure) {
    std::fprintf(stderr, "runwarden-server: %s\n", failure.what());
    return 1;
  }
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
