// Round trip of a community lookup: DownloadUrl's connect, request, reply and close,
// then the reading of the reply. Not a test; it prints figures.
//   community_bench [ADDRESS:PORT [COUNT]]
// With an address it asks that server (runwarden-server); without, a responder inside
// this process on 127.0.0.1 answers with three records.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "net/CommunityRating.h"
#include "net/ServerAddress.h"
#include "net/MakerService.h"
#include "support/LoopbackPeer.h"

int main(int argc, char** argv) {
  std::string address = argc > 1 ? argv[1] : "";
  int count = argc > 2 ? std::atoi(argv[2]) : 200;
  if (count < 1) count = 200;

  std::unique_ptr<LoopbackPeer> responder;
  if (address.empty()) {
    responder = std::make_unique<LoopbackPeer>();
    responder->SetReply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nrecords"
                        "<br>1|tool.exe|Someone|al<br>2|tool.exe|Other|al<br>3|tool.exe|Third|bl");
    address = responder->Address();
  }
  SetServerAddressForTesting(address);

  ctlProgramSupport support;
  const std::string digest = "0123456789ABCDEF0123456789ABCDEF";
  CommunityLookup(support, digest);  // warm up
  std::vector<double> times;
  int answered = 0;
  for (int i = 0; i < count; ++i) {
    auto start = std::chrono::steady_clock::now();
    CommunityResult result = CommunityLookup(support, digest);
    auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    if (result.lines.empty() || result.lines[0] != kCannotConnectLine) ++answered;
  }
  std::sort(times.begin(), times.end());
  double total = 0;
  for (double t : times) total += t;
  std::printf("community lookup against %s (%s): %d round trips, %d answered\n", address.c_str(),
              responder ? "in-process responder" : "server", count, answered);
  std::printf("  min %.3f ms  median %.3f ms  mean %.3f ms  p95 %.3f ms  max %.3f ms\n",
              times.front(), times[times.size() / 2], total / count,
              times[std::min(times.size() - 1, times.size() * 95 / 100)], times.back());
  return answered == count ? 0 : 1;
}
