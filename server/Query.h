#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace server {

using QueryParams = std::vector<std::pair<std::string, std::string>>;

// "%41" becomes "A". A "+" stays a plus sign: our program escapes its values with
// percent signs only, and a file may well be called "a+b.exe". A "%" that does not
// start two hexadecimal digits is kept as it is.
std::string PercentDecode(std::string_view text);

// The query of a request target ("/path?a=1&b=2"): pairs in their order, decoded.
QueryParams ParseQuery(std::string_view target);

// The value of the first pair with that name.
std::optional<std::string> QueryValue(const QueryParams& params, std::string_view name);

}  // namespace server
