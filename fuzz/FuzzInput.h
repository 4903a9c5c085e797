// Splits a fuzzer's input into lines for the arguments and the rest for the text, so one
// input drives a parser with every argument under the fuzzer's control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, std::size_t size)
      : text_(reinterpret_cast<const char*>(data), size) {}

  // The text up to the next line feed (or the end), which is consumed with it.
  std::string Line() {
    std::size_t end = text_.find('\n', at_);
    std::string line = text_.substr(at_, end == std::string::npos ? std::string::npos : end - at_);
    at_ = end == std::string::npos ? text_.size() : end + 1;
    return line;
  }
  std::string Rest() const { return text_.substr(at_); }

 private:
  std::string text_;
  std::size_t at_ = 0;
};

// Aborts with the message, so libFuzzer keeps the input: a broken promise of the parser.
[[noreturn]] void FuzzFailure(const char* what);
inline void FuzzCheck(bool holds, const char* what) {
  if (!holds)
    FuzzFailure(what);
}
