#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

struct FormField {
  std::string name;
  std::string value;
};

// The boundary named in a multipart Content-Type. Our own program writes
// "multipart/form-data, boundary=..." with a comma, browsers use a semicolon;
// both are accepted, and a quoted boundary is unquoted.
std::optional<std::string> MultipartBoundary(std::string_view contentType);

// Splits a multipart/form-data body into its fields, forgivingly: the program
// repeats the boundary line between its fields and never writes the closing
// "--", so parts are whatever stands between two boundary lines, empty parts are
// skipped, and a part after the last boundary line counts when it has headers.
// Parts without a name in their Content-Disposition are dropped.
std::vector<FormField> ParseMultipart(std::string_view body, std::string_view boundary);

// The first field of that name, if any.
std::optional<std::string> FindField(const std::vector<FormField>& fields, std::string_view name);

}  // namespace server
