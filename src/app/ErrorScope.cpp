#include "app/ErrorScope.h"

#include "app/Log.h"
#include "platform/system.h"

ErrorScope::~ErrorScope() {
  if (pending_ && at_end_ == AtEnd::kLog) LogError(Text());
}

void ErrorScope::Raise(const std::string& description, std::source_location where) {
  pending_ = true;
  ++raised_;
  description_ = description;
  line_ = static_cast<int>(where.line());
}

std::string ErrorScope::Text() const {
  return platform::FormatGeneralDate(platform::Now()) + " " + description_ + " " +
         std::to_string(line_);
}
