// The classic wildcard language of rule files: ? one character, * any run, # one digit,
// [list] and [!list] character classes with a-z ranges. Case-sensitive.
#pragma once

#include <optional>
#include <string>

// Whether Text matches Pattern; no value for a malformed pattern (an unclosed "[").
std::optional<bool> MatchesLikePattern(const std::string& text, const std::string& pattern);
