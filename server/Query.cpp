#include "Query.h"

namespace server {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

QueryParams ParseQuery(std::string_view target) {
  QueryParams params;
  const size_t question = target.find('?');
  if (question == std::string_view::npos) return params;
  std::string_view query = target.substr(question + 1);
  const size_t fragment = query.find('#');
  if (fragment != std::string_view::npos) query = query.substr(0, fragment);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) {
      params.emplace_back(PercentDecode(pair), std::string());
    } else {
      params.emplace_back(PercentDecode(pair.substr(0, equals)), PercentDecode(pair.substr(equals + 1)));
    }
  }
  return params;
}

std::optional<std::string> QueryValue(const QueryParams& params, std::string_view name) {
  for (const auto& [key, value] : params) {
    if (key == name) return value;
  }
  return std::nullopt;
}

}  // namespace server
