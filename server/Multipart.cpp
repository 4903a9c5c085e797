#include "Multipart.h"

#include <algorithm>
#include <cctype>

namespace server {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// A parameter such as name="prog" out of a header value; "filename=" is not "name=".
std::optional<std::string> HeaderParameter(std::string_view value, std::string_view key) {
  const std::string lowered = Lower(value);
  const std::string wanted = std::string(key) + "=";
  for (size_t at = lowered.find(wanted); at != std::string::npos; at = lowered.find(wanted, at + 1)) {
    if (at > 0 && lowered[at - 1] != ';' && lowered[at - 1] != ' ' && lowered[at - 1] != '\t') {
      continue;
    }
    std::string_view rest = value.substr(at + wanted.size());
    if (!rest.empty() && rest.front() == '"') {
      rest.remove_prefix(1);
      return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(Trim(rest.substr(0, rest.find_first_of(";,"))));
  }
  return std::nullopt;
}

// A part is its header lines, a blank line, then the value.
std::optional<FormField> ParsePart(std::string_view part) {
  size_t headersEnd = 0;
  size_t valueStart = 0;
  if (part.starts_with("\r\n")) {
    valueStart = 2;
  } else if (part.starts_with("\n")) {
    valueStart = 1;
  } else {
    const size_t crlf = part.find("\r\n\r\n");
    const size_t lf = part.find("\n\n");
    if (crlf == std::string_view::npos && lf == std::string_view::npos) return std::nullopt;
    if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf <= lf)) {
      headersEnd = crlf;
      valueStart = crlf + 4;
    } else {
      headersEnd = lf;
      valueStart = lf + 2;
    }
  }

  std::string_view headers = part.substr(0, headersEnd);
  while (!headers.empty()) {
    const size_t lineEnd = headers.find('\n');
    const std::string_view line = headers.substr(0, lineEnd);
    headers = lineEnd == std::string_view::npos ? std::string_view() : headers.substr(lineEnd + 1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (Lower(Trim(line.substr(0, colon))) != "content-disposition") continue;
    auto name = HeaderParameter(line.substr(colon + 1), "name");
    if (!name) return std::nullopt;
    return FormField{*name, std::string(part.substr(valueStart))};
  }
  return std::nullopt;
}

std::string_view WithoutFinalLineBreak(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  if (text.ends_with('\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::string> MultipartBoundary(std::string_view contentType) {
  const std::string lowered = Lower(contentType);
  if (!lowered.starts_with("multipart/form-data")) return std::nullopt;
  auto boundary = HeaderParameter(contentType, "boundary");
  if (!boundary || boundary->empty()) return std::nullopt;
  return boundary;
}

std::vector<FormField> ParseMultipart(std::string_view body, std::string_view boundary) {
  std::vector<FormField> fields;
  if (boundary.empty()) return fields;
  const std::string delimiter = "--" + std::string(boundary);

  // Every line that starts with the delimiter (and not with a longer boundary).
  std::vector<size_t> lines;
  for (size_t at = body.find(delimiter); at != std::string_view::npos;
       at = body.find(delimiter, at + 1)) {
    if (at > 0 && body[at - 1] != '\n') continue;
    const size_t after = at + delimiter.size();
    if (after < body.size() && std::string_view("\r\n- \t").find(body[after]) == std::string_view::npos) {
      continue;
    }
    lines.push_back(at);
  }

  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t after = lines[i] + delimiter.size();
    if (body.substr(after, 2) == "--") break;  // the closing line: what follows is not a part
    const size_t lineEnd = body.find('\n', after);
    if (lineEnd == std::string_view::npos) break;
    const size_t start = lineEnd + 1;
    const bool last = i + 1 == lines.size();
    const size_t end = last ? body.size() : lines[i + 1];
    std::string_view part = body.substr(start, end - start);
    if (!last) part = WithoutFinalLineBreak(part);
    if (part.empty()) continue;  // the repeated boundary line leaves an empty part
    if (auto field = ParsePart(part)) fields.push_back(std::move(*field));
  }
  return fields;
}

std::optional<std::string> FindField(const std::vector<FormField>& fields, std::string_view name) {
  for (const auto& field : fields) {
    if (field.name == name) return field.value;
  }
  return std::nullopt;
}

}  // namespace server
