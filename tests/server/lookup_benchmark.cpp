// Round trip of a community lookup against the server on loopback, the request
// text exactly as our program sends it. Not a test: it prints figures.
//   runwarden_server_benchmark [lookups]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ServerTestSupport.h"

int main(int argc, char** argv) {
  const int lookups = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  server_test::TempFolder folder;
  server_test::RunningServer server(folder.path());
  const std::string digest = "0123456789ABCDEF0123456789ABCDEF";
  for (int i = 0; i < 50; ++i) {
    server.store().RecordVerdict({0, digest, "10.0.0." + std::to_string(i), "file" + std::to_string(i) + ".exe",
                                  "A user on 2026-12-05", i % 3 ? "al" : "bl", "2026-12-05T00:00:00Z"});
  }
  const std::string request = server_test::ClientGet("/~vantor/filecheck.php?md5=" + digest);

  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(lookups));
  size_t replyBytes = 0;
  for (int i = 0; i < lookups; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const auto exchange = server_test::SendRaw(server.port(), request);
    const auto took = std::chrono::steady_clock::now() - start;
    if (!exchange.closedByServer || server_test::StatusCode(exchange.response) != 200) {
      std::fprintf(stderr, "lookup %d failed\n", i);
      return 1;
    }
    replyBytes = exchange.response.size();
    micros.push_back(std::chrono::duration<double, std::micro>(took).count());
  }
  std::sort(micros.begin(), micros.end());
  auto at = [&](double share) { return micros[static_cast<size_t>(share * (micros.size() - 1))]; };
  std::printf("%d lookups of a digest with 50 verdicts (%zu-byte replies): median %.0f us, p90 %.0f us, p99 %.0f us\n",
              lookups, replyBytes, at(0.5), at(0.9), at(0.99));
  return 0;
}
