// Errors inside a procedure do not escape it. A procedure that keeps going after a
// failed step creates an ErrorScope at its top; a failed step records the pending error
// (its description and source line), and when the procedure ends the scope writes one
// line to errlog.log: the date and time, the description, the line number.
#pragma once

#include <source_location>
#include <stdexcept>
#include <string>

#include "platform/runtime_error.h"

class ErrorScope {
 public:
  enum class AtEnd { kLog, kClear };

  explicit ErrorScope(AtEnd at_end = AtEnd::kLog) : at_end_(at_end) {}
  ~ErrorScope();
  ErrorScope(const ErrorScope&) = delete;
  ErrorScope& operator=(const ErrorScope&) = delete;

  // Records an error; a later one replaces it, as the last error is the one reported.
  void Raise(const std::string& description,
             std::source_location where = std::source_location::current());

  // Runs one step. An exception it throws becomes the pending error and false is
  // returned, so the procedure can go on with its next step.
  template <class Step>
  bool Try(Step&& step, std::source_location where = std::source_location::current()) {
    try {
      step();
      return true;
    } catch (const std::exception& error) {
      Raise(error.what(), where);
    } catch (...) {
      Raise("Unknown error", where);
    }
    return false;
  }

  bool pending() const { return pending_; }
  // How many errors were recorded so far, so a caller can tell which step raised one.
  int raised() const { return raised_; }
  const std::string& description() const { return description_; }
  int line() const { return line_; }
  void Clear() { pending_ = false; }

  // The date and time, the description and the line, as errlog.log and the error
  // reports carry them.
  std::string Text() const;

 private:
  AtEnd at_end_;
  bool pending_ = false;
  int raised_ = 0;
  std::string description_;
  int line_ = 0;
};
