// The error every layer raises to its caller: a number and a description, the way the
// platform reports a failure.
#pragma once

#include <stdexcept>
#include <string>

// A runtime error raised to the caller, carrying a number and a description the way
// the platform reports it.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

// "Type mismatch": a text that is not a number where a number was wanted.
inline constexpr int kErrTypeMismatch = 13;
