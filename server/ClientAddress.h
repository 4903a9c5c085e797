#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// The address in its usual text ("127.0.0.1", "2001:db8::1"), or nothing when the
// text is no IPv4 or IPv6 address.
std::optional<std::string> CanonicalAddress(std::string_view text);

// Whom a request speaks for. The peer, unless the peer is one of our trusted
// proxies: then the last address of the last X-Forwarded-For header, which is the
// one the proxy itself wrote (anything before it came from the client and may be
// made up). Empty when that cannot be told: a trusted proxy that names nobody or
// something that is not an address.
std::string ClientAddress(std::string_view peer, const std::vector<std::string>& forwardedFor,
                          const std::vector<std::string>& trustedProxies);

// The key under which limits count an address: an IPv6 client usually has a whole
// /64 to choose from, so that is what counts as one address.
std::string LimitKey(std::string_view address);

}  // namespace server
