#include "app/LikePattern.h"

#include <vector>

namespace {

struct Token {
  enum Kind { kLiteral, kAnyChar, kAnyRun, kDigit, kClass };
  explicit Token(Kind k, char c = 0) : kind(k), literal(c) {}
  Kind kind;
  char literal;
  std::string members;  // for a class: single characters, and ranges as "a-z" triples
  bool negated = false;
};

bool InClass(const Token& token, char c) {
  bool member = false;
  const std::string& m = token.members;
  for (std::size_t i = 0; i < m.size(); ++i) {
    if (i + 2 < m.size() && m[i + 1] == '-') {
      if (static_cast<unsigned char>(c) >= static_cast<unsigned char>(m[i]) &&
          static_cast<unsigned char>(c) <= static_cast<unsigned char>(m[i + 2]))
        member = true;
      i += 2;
    } else if (m[i] == c) {
      member = true;
    }
  }
  return member != token.negated;
}

std::optional<std::vector<Token>> Tokenize(const std::string& pattern) {
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '?') {
      tokens.emplace_back(Token::kAnyChar);
    } else if (c == '*') {
      tokens.emplace_back(Token::kAnyRun);
    } else if (c == '#') {
      tokens.emplace_back(Token::kDigit);
    } else if (c == '[') {
      std::size_t close = pattern.find(']', i + 1);
      if (close == std::string::npos) return std::nullopt;
      std::string inside = pattern.substr(i + 1, close - i - 1);
      i = close;
      if (inside.empty()) continue;  // "[]" stands for nothing
      Token token(Token::kClass);
      if (inside[0] == '!' && inside.size() > 1) {
        token.negated = true;
        inside = inside.substr(1);
      }
      token.members = inside;
      tokens.push_back(token);
    } else {
      tokens.emplace_back(Token::kLiteral, c);
    }
  }
  return tokens;
}

bool MatchOne(const Token& token, char c) {
  switch (token.kind) {
    case Token::kLiteral: return token.literal == c;
    case Token::kAnyChar: return true;
    case Token::kDigit: return c >= '0' && c <= '9';
    case Token::kClass: return InClass(token, c);
    case Token::kAnyRun: break;
  }
  return false;
}

}  // namespace

std::optional<bool> MatchesLikePattern(const std::string& text, const std::string& pattern) {
  std::optional<std::vector<Token>> tokens = Tokenize(pattern);
  if (!tokens) return std::nullopt;
  // matched[j]: the first i characters of text match the first j tokens.
  const std::size_t n = tokens->size();
  std::vector<bool> matched(n + 1, false);
  matched[0] = true;
  for (std::size_t j = 1; j <= n; ++j)
    matched[j] = matched[j - 1] && (*tokens)[j - 1].kind == Token::kAnyRun;
  for (char c : text) {
    std::vector<bool> next(n + 1, false);
    for (std::size_t j = 1; j <= n; ++j) {
      const Token& token = (*tokens)[j - 1];
      next[j] = token.kind == Token::kAnyRun ? (next[j - 1] || matched[j])
                                             : (matched[j - 1] && MatchOne(token, c));
    }
    matched.swap(next);
  }
  return matched[n];
}
