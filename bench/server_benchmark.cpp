// Throughput and latency of runwarden-server on loopback, with the request texts our
// program sends, one connection per request. Not a test: it prints figures.
//
//   runwarden_server_benchmark [--server BINARY] [--seconds N] [--postgres URL] [--plain]
//
// Every figure is taken for N seconds (default 3) against the server binary started
// afresh for each store: SQLite always, PostgreSQL when a URL is given or
// RUNWARDEN_TEST_POSTGRES names one (tests/server/with_postgres.sh sets it). --plain
// starts the server with --listen and --data only, for a build from before the
// limits existed; the limits are otherwise switched off, as the load comes from a
// few addresses only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <pqxx/pqxx>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ServerTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// ---- the server under load ----

// ---- the load: many connections in one thread ----

struct Figures {
  std::vector<double> millis;
  size_t failed = 0;  // no reply, a reset, or a status other than 200
  double seconds = 0;

  double Rate() const { return seconds > 0 ? millis.size() / seconds : 0; }
  double At(double share) {
    if (millis.empty()) return 0;
    std::sort(millis.begin(), millis.end());
    return millis[std::min(millis.size() - 1, static_cast<size_t>(share * millis.size()))];
  }
};

// One kind of traffic: `connections` clients, each sending a request as soon as the
// previous one is answered, or (idle, dripping) holding a connection open.
struct Flow {
  enum class Kind { kRequests, kIdle, kDripping };
  using Text = std::function<std::string(int client, std::uint64_t n)>;

  Flow(Kind kind, int connections, Text request, Text source)
      : kind(kind), connections(connections), request(std::move(request)), source(std::move(source)) {}

  Kind kind;
  int connections;
  Text request;
  Text source;       // the address a client connects from
  size_t limit = 0;  // requests in all; 0: as many as the time allows
  Figures figures;
};

class Load {
 public:
  Load(int port, std::vector<Flow*> flows) : port_(port), flows_(std::move(flows)) {}

  void Run(std::chrono::milliseconds duration) {
    epoll_ = epoll_create1(0);
    const auto start = Clock::now();
    end_ = start + duration;
    for (size_t f = 0; f < flows_.size(); ++f) {
      for (int c = 0; c < flows_[f]->connections; ++c) {
        Client client;
        client.flow = f;
        client.index = c;
        clients_.push_back(std::move(client));
      }
    }
    for (size_t i = 0; i < clients_.size(); ++i) Begin(i);
    auto nextDrip = Clock::now();
    epoll_event events[512];
    while (true) {
      const auto now = Clock::now();
      if (now >= end_ + 10s) break;
      if (now >= end_ && OutstandingRequests() == 0) break;
      if (now >= nextDrip) {
        Drip();
        nextDrip = now + 100ms;
      }
      const int ready = epoll_wait(epoll_, events, 512, 20);
      for (int i = 0; i < ready; ++i) Handle(events[i].data.u64, events[i].events);
    }
    const double seconds = std::chrono::duration<double>(std::min(Clock::now(), end_) - start).count();
    for (auto* flow : flows_) flow->figures.seconds = seconds;
    for (auto& client : clients_) {
      if (client.fd < 0) continue;
      close(client.fd);
      // Still waiting for its answer: that is a failure too.
      if (flows_[client.flow]->kind == Flow::Kind::kRequests) ++flows_[client.flow]->figures.failed;
    }
    close(epoll_);
  }

 private:
  struct Client {
    size_t flow = 0;
    int index = 0;
    int fd = -1;
    std::uint64_t n = 0;
    Clock::time_point started;
    std::string request;
    size_t sent = 0;
    std::string reply;
    bool busy = false;
  };

  size_t OutstandingRequests() const {
    size_t count = 0;
    for (const auto& client : clients_) {
      if (client.busy && flows_[client.flow]->kind == Flow::Kind::kRequests) ++count;
    }
    return count;
  }

  bool MayBegin(const Flow& flow) const {
    if (flow.kind != Flow::Kind::kRequests) return Clock::now() < end_;
    if (flow.limit && flow.figures.millis.size() + flow.figures.failed >= flow.limit) return false;
    return Clock::now() < end_;
  }

  void Begin(size_t i) {
    Client& client = clients_[i];
    Flow& flow = *flows_[client.flow];
    client.busy = false;
    if (!MayBegin(flow)) return;
    const std::string from = flow.source(client.index, client.n);
    client.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int yes = 1;
    setsockopt(client.fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &yes, sizeof yes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    bind(client.fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<uint16_t>(port_));
    inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    client.started = Clock::now();
    client.request = flow.kind == Flow::Kind::kRequests ? flow.request(client.index, client.n) : std::string();
    client.sent = 0;
    client.reply.clear();
    client.busy = true;
    connect(client.fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    epoll_event event{};
    event.events = EPOLLOUT | EPOLLIN | EPOLLRDHUP;
    event.data.u64 = i;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, client.fd, &event);
  }

  void Finish(size_t i, bool ok) {
    Client& client = clients_[i];
    Flow& flow = *flows_[client.flow];
    close(client.fd);
    client.fd = -1;
    if (flow.kind == Flow::Kind::kRequests) {
      ok = ok && client.reply.starts_with("HTTP/1.1 200");
      if (ok) {
        flow.figures.millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - client.started).count());
      } else {
        ++flow.figures.failed;
      }
    }
    ++client.n;
    Begin(i);
  }

  void Handle(std::uint64_t i, std::uint32_t events) {
    Client& client = clients_[i];
    if (client.fd < 0) return;
    if (events & EPOLLOUT) {
      int error = 0;
      socklen_t length = sizeof error;
      getsockopt(client.fd, SOL_SOCKET, SO_ERROR, &error, &length);
      if (error != 0) return Finish(i, false);
      while (client.sent < client.request.size()) {
        const ssize_t sent =
            send(client.fd, client.request.data() + client.sent, client.request.size() - client.sent, MSG_NOSIGNAL);
        if (sent <= 0) break;
        client.sent += static_cast<size_t>(sent);
      }
      if (client.sent == client.request.size()) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.u64 = i;
        epoll_ctl(epoll_, EPOLL_CTL_MOD, client.fd, &event);
      }
    }
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
      char buffer[65536];
      while (true) {
        const ssize_t received = recv(client.fd, buffer, sizeof buffer, 0);
        if (received > 0) {
          client.reply.append(buffer, static_cast<size_t>(received));
          continue;
        }
        if (received == 0) return Finish(i, true);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        return Finish(i, false);
      }
    }
  }

  void Drip() {
    for (auto& client : clients_) {
      if (client.fd < 0 || flows_[client.flow]->kind != Flow::Kind::kDripping) continue;
      static const char kLine[] = "GET /~vantor/filecheck.php?md5=0123456789ABCDEF";
      send(client.fd, &kLine[client.sent++ % (sizeof kLine - 1)], 1, MSG_NOSIGNAL);
    }
  }

  int port_;
  std::vector<Flow*> flows_;
  std::vector<Client> clients_;
  int epoll_ = -1;
  Clock::time_point end_;
};

std::string Address(int a, int b, int c) {
  return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c % 250 + 1);
}

void Print(const char* what, Figures& figures) {
  if (figures.millis.empty()) {
    std::printf("  %-52s none answered within %.0f s\n", what, figures.seconds + 10);
    std::fflush(stdout);
    return;
  }
  std::printf("  %-52s %9.0f/s  p50 %7.2f ms  p99 %7.2f ms%s\n", what, figures.Rate(), figures.At(0.5),
              figures.At(0.99), figures.failed ? (" failed " + std::to_string(figures.failed)).c_str() : "");
  std::fflush(stdout);
}

// ---- the figures ----

struct Options {
  std::string server = RUNWARDEN_SERVER_BINARY;
  std::chrono::milliseconds duration = 3s;
  std::string postgres;
  bool plain = false;
};

// 100,000 verdicts on one digest, written straight into the server's database.
void PlantManyVerdicts(const std::string& database, const std::filesystem::path& sqliteFile,
                       const std::string& digest) {
  if (database.empty()) {
    sqlite3* db = nullptr;
    sqlite3_open(sqliteFile.c_str(), &db);
    sqlite3_busy_timeout(db, 10000);
    const std::string sql =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
        " INSERT INTO verdicts (digest, address, file_name, label, verdict, time)"
        " SELECT '" + digest + "', '10.' || (i / 65536) || '.' || (i / 256 % 256) || '.' || (i % 256),"
        " 'file' || i || '.exe', 'A user on 2026-12-05', CASE i % 3 WHEN 0 THEN 'bl' ELSE 'al' END,"
        " '2026-12-05T00:00:00Z' FROM n";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "cannot plant verdicts: %s\n", sqlite3_errmsg(db));
    }
    sqlite3_close(db);
    return;
  }
  pqxx::connection connection(database);
  pqxx::work tx(connection);
  tx.exec("INSERT INTO verdicts (digest, address, file_name, label, verdict, time)"
          " SELECT '" + digest + "', '10.' || (i / 65536) || '.' || (i / 256 % 256) || '.' || (i % 256),"
          " convert_to('file' || i || '.exe', 'UTF8'), 'A user on 2026-12-05',"
          " CASE i % 3 WHEN 0 THEN 'bl' ELSE 'al' END, '2026-12-05T00:00:00Z'"
          " FROM generate_series(1, 100000) AS i");
  tx.commit();
}

void Measure(const Options& options, const std::string& database) {
  server_test::TempFolder folder;
  std::vector<std::string> arguments{"--listen", "127.0.0.1:0", "--data", folder.path().string()};
  if (!options.plain) {
    for (const char* limit : {"--connections-per-address", "--votes-per-hour", "--reports-per-hour"}) {
      arguments.insert(arguments.end(), {limit, "0"});
    }
  }
  if (!database.empty()) arguments.insert(arguments.end(), {"--database", database});
  arguments.insert(arguments.begin(), options.server);
  server_test::ChildProcess server(arguments);
  const int port = server.ListeningPort();
  if (port < 0) {
    std::fprintf(stderr, "the server did not start:\n%s\n", server.output().c_str());
    std::exit(1);
  }
  const std::string run = server_test::RandomDigest().substr(0, 8);
  const std::string small = run + "00000000000000000000000A";
  const std::string big = run + "00000000000000000000000B";

  std::printf("\n%s store, %lld s a figure:\n", database.empty() ? "SQLite" : "PostgreSQL",
              static_cast<long long>(options.duration.count() / 1000));
  for (int i = 0; i < 50; ++i) {
    server_test::SendRaw(port, BuildGetRequest("/~vantor/filecheck.php?md5=" + small + "&file=f" +
                                                      std::to_string(i) + ".exe&report=" + (i % 3 ? "al" : "bl")),
                         Address(9, 0, i));
  }
  auto lookup = [&](const std::string& digest) {
    return [request = BuildGetRequest("/~vantor/filecheck.php?md5=" + digest)](int, std::uint64_t) {
      return request;
    };
  };
  std::uint64_t votes = 0;
  auto vote = [&](int, std::uint64_t) {
    char digest[33];
    std::snprintf(digest, sizeof digest, "%s%024llX", run.c_str(), static_cast<unsigned long long>(++votes) << 8);
    return BuildGetRequest(std::string("/~vantor/filecheck.php?md5=") + digest + "&file=f.exe&report=al");
  };

  for (const int concurrency : {1, 8, 64}) {
    Flow flow{Flow::Kind::kRequests, concurrency, lookup(small),
              [](int client, std::uint64_t n) { return Address(10, client, static_cast<int>(n)); }};
    Load(port, {&flow}).Run(options.duration);
    Print(("lookups (50 verdicts), " + std::to_string(concurrency) + " connections").c_str(), flow.figures);
  }
  for (const int concurrency : {1, 8, 64}) {
    Flow flow{Flow::Kind::kRequests, concurrency, vote,
              [](int client, std::uint64_t n) { return Address(11, client, static_cast<int>(n)); }};
    Load(port, {&flow}).Run(options.duration);
    Print(("votes, " + std::to_string(concurrency) + " connections").c_str(), flow.figures);
  }
  {
    Flow lookups{Flow::Kind::kRequests, 8, lookup(small),
                 [](int client, std::uint64_t n) { return Address(12, client, static_cast<int>(n)); }};
    Flow writes{Flow::Kind::kRequests, 8, vote,
                [](int client, std::uint64_t n) { return Address(13, client, static_cast<int>(n)); }};
    Load(port, {&lookups, &writes}).Run(options.duration);
    Print("lookups, 8 connections, while 8 more vote", lookups.figures);
    Print("  the votes beside them", writes.figures);
  }

  PlantManyVerdicts(database, folder.path() / "runwarden.sqlite", big);
  {
    Flow flow{Flow::Kind::kRequests, 1, lookup(big),
              [](int, std::uint64_t n) { return Address(14, 0, static_cast<int>(n)); }};
    Load(port, {&flow}).Run(options.duration);
    Print("lookups of a digest with 100,000 verdicts, 1 connection", flow.figures);
  }
  {
    Flow bigs{Flow::Kind::kRequests, 4, lookup(big),
              [](int client, std::uint64_t n) { return Address(15, client, static_cast<int>(n)); }};
    Flow smalls{Flow::Kind::kRequests, 4, lookup(small),
                [](int client, std::uint64_t n) { return Address(16, client, static_cast<int>(n)); }};
    Load(port, {&bigs, &smalls}).Run(options.duration);
    Print("lookups (50 verdicts), 4 connections, beside 4 of them", smalls.figures);
  }
  {
    // What an attacker on one address costs everybody else: 64 clients that connect
    // and say nothing, 8 that send a byte every 100 ms, each back at once when dropped.
    auto attacker = [](int, std::uint64_t) { return std::string("127.0.0.1"); };
    Flow idle{Flow::Kind::kIdle, 64, nullptr, attacker};
    Flow dripping{Flow::Kind::kDripping, 8, nullptr, attacker};
    Flow lookups{Flow::Kind::kRequests, 1, lookup(small), [](int, std::uint64_t) { return std::string("127.0.0.2"); }};
    lookups.limit = 500;
    Load(port, {&idle, &dripping, &lookups}).Run(options.duration);
    Print("a lookup from 127.0.0.2 beside 64 idle + 8 dripping", lookups.figures);
    if (!lookups.figures.millis.empty()) {
      std::printf("    (worst of %zu lookups: %.2f ms)\n", lookups.figures.millis.size(), lookups.figures.At(1.0));
    }
  }
  server.Signal(SIGTERM);
  server.Wait();
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  Options options;
  if (const char* postgres = std::getenv("RUNWARDEN_TEST_POSTGRES")) options.postgres = postgres;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--plain") {
      options.plain = true;
    } else if (argument == "--server" && i + 1 < argc) {
      options.server = argv[++i];
    } else if (argument == "--seconds" && i + 1 < argc) {
      options.duration = std::chrono::milliseconds(std::max(1, std::atoi(argv[++i])) * 1000);
    } else if (argument == "--postgres" && i + 1 < argc) {
      options.postgres = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--server BINARY] [--seconds N] [--postgres URL] [--plain]\n", argv[0]);
      return 2;
    }
  }
  std::printf("runwarden-server %s on loopback, %u cores; one connection per request\n", options.server.c_str(),
              std::thread::hardware_concurrency());
  Measure(options, "");
  if (!options.postgres.empty() && !options.plain) Measure(options, options.postgres);
  return 0;
}
