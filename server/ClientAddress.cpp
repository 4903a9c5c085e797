#include "ClientAddress.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace server {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::string> CanonicalAddress(std::string_view text) {
  if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string copy(text);
  char out[INET6_ADDRSTRLEN] = {};
  in_addr v4{};
  if (inet_pton(AF_INET, copy.c_str(), &v4) == 1) return inet_ntop(AF_INET, &v4, out, sizeof out);
  in6_addr v6{};
  if (inet_pton(AF_INET6, copy.c_str(), &v6) == 1) return inet_ntop(AF_INET6, &v6, out, sizeof out);
  return std::nullopt;
}

std::string ClientAddress(std::string_view peer, const std::vector<std::string>& forwardedFor,
                          const std::vector<std::string>& trustedProxies) {
  if (std::find(trustedProxies.begin(), trustedProxies.end(), peer) == trustedProxies.end()) {
    return std::string(peer);
  }
  if (forwardedFor.empty()) return {};
  std::string_view last = forwardedFor.back();
  if (const size_t comma = last.rfind(','); comma != std::string_view::npos) last.remove_prefix(comma + 1);
  return CanonicalAddress(Trim(last)).value_or("");
}

std::string LimitKey(std::string_view address) {
  const std::string copy(address);
  in6_addr v6{};
  if (address.find(':') == std::string_view::npos || inet_pton(AF_INET6, copy.c_str(), &v6) != 1) return copy;
  std::memset(v6.s6_addr + 8, 0, 8);
  char out[INET6_ADDRSTRLEN] = {};
  inet_ntop(AF_INET6, &v6, out, sizeof out);
  return std::string(out) + "/64";
}

}  // namespace server
