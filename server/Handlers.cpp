#include "Handlers.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <system_error>

#include "Multipart.h"
#include "Query.h"

namespace server {
namespace {

bool IsDigest(std::string_view text) {
  return !text.empty() && text.size() <= 64 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

// A file name as it may stand inside a lookup record: the record's own separators
// ("|" and the "<br>" tag) and control characters would break the client's reading.
std::string RecordSafe(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 || code == 127) continue;
    out.push_back(c == '|' || c == '<' || c == '>' ? '_' : c);
    if (out.size() == Handlers::kMaxFileName) break;
  }
  return out;
}

std::string Page(std::string_view title, std::string_view content) {
  const std::string escaped = HtmlEscape(title);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"windows-1252\"><title>" + escaped +
         "</title></head>\n<body><h1>" + escaped + "</h1>\n" + std::string(content) + "\n</body></html>\n";
}

std::string ReportForm(std::string_view prog, std::string_view prompt) {
  return "<form method=\"post\" action=\"/~vantor/progerr.php\" enctype=\"multipart/form-data\">"
         "<input type=\"hidden\" name=\"prog\" value=\"" +
         HtmlEscape(prog) + "\"><p>" + std::string(prompt) +
         "</p><textarea name=\"err\" rows=\"8\" cols=\"70\"></textarea><br>"
         "<button type=\"submit\">Send</button></form>";
}

// "Runwarden.exe" is reported as "Runwarden-1.4": the name without its extension.
std::string ProgramBaseName(std::string_view program) {
  std::string name(program);
  if (name.size() > 4 && Upper(name.substr(name.size() - 4)) == ".EXE") name.resize(name.size() - 4);
  return name.empty() ? "Runwarden" : name;
}

Reply HtmlReply(std::string body) { return {200, "text/html; charset=windows-1252", std::move(body)}; }

Reply TooMany(std::string_view what, int retryAfter) {
  Reply reply = ErrorReply(429, "too many " + std::string(what) + " from your address, please try again later");
  reply.retryAfter = std::max(retryAfter, 1);
  return reply;
}

constexpr int kRetryAfterFailure = 30;

}  // namespace

const char* StatusText(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

Reply ErrorReply(int status, std::string_view reason) {
  return {status, "text/plain", std::to_string(status) + " " + StatusText(status) + ": " + std::string(reason)};
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

Handlers::Handlers(Store& store, std::filesystem::path dataFolder, Policy policy, Clock clock, Logger logger)
    : store_(store),
      dataFolder_(std::move(dataFolder)),
      policy_(policy),
      clock_(std::move(clock)),
      logger_(std::move(logger)),
      votes_(policy.votesPerHour),
      reports_(policy.reportsPerHour) {}

std::string Handlers::Time(std::chrono::system_clock::time_point when) const {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string Handlers::Now() const { return Time(clock_()); }

std::string Handlers::Today() const { return Now().substr(0, 10); }

Retention Handlers::CurrentRetention() const {
  Retention retention;
  if (policy_.reportDays > 0) retention.keepSince = Time(clock_() - std::chrono::hours(24) * policy_.reportDays);
  retention.maxBytes = policy_.reportBytes;
  return retention;
}

void Handlers::Log(const std::string& line) const {
  if (logger_) logger_(line);
}

// A failed write is the database's fault, not the client's: 503, and the log says
// so when the database stops taking writes (not on every vote after that).
Reply Handlers::WriteFailed(const StoreError& failure) {
  if (writable_.exchange(false)) Log(std::string("database cannot be written: ") + failure.what());
  Reply reply = ErrorReply(503, "the database cannot be written just now, please try again later");
  reply.retryAfter = kRetryAfterFailure;
  return reply;
}

Reply Handlers::ReadFailed(const StoreError& failure) {
  if (readable_.exchange(false)) Log(std::string("database cannot be read: ") + failure.what());
  Reply reply = ErrorReply(503, "the database cannot be read just now, please try again later");
  reply.retryAfter = kRetryAfterFailure;
  return reply;
}

void Handlers::Written() {
  if (!writable_.load(std::memory_order_relaxed) && !writable_.exchange(true)) {
    Log("database can be written again");
  }
}

void Handlers::ReadWorked() {
  if (!readable_.load(std::memory_order_relaxed) && !readable_.exchange(true)) Log("database can be read again");
}

void Handlers::TrimErrorReports() {
  try {
    store_.TrimErrorReports(CurrentRetention());
    Written();
  } catch (const StoreError& failure) {
    WriteFailed(failure);
  }
}

Reply Handlers::FileCheck(std::string_view method, std::string_view target, std::string_view clientAddress) {
  // Without the address every such vote would share one slot.
  if (clientAddress.empty()) return ErrorReply(400, "the client's address is unknown");
  const QueryParams params = ParseQuery(target);
  const auto md5 = QueryValue(params, "md5");
  if (!md5 || !IsDigest(*md5)) return ErrorReply(400, "md5 must be a digest of 1 to 64 hexadecimal digits");
  const std::string digest = Upper(*md5);

  if (const auto report = QueryValue(params, "report")) {
    if (*report != "al" && *report != "bl") return ErrorReply(400, "report must be al or bl");
    // A HEAD asks what a GET would answer; it must not cast the vote itself.
    if (method != "GET") return ErrorReply(405, "a rating is sent with GET");
    if (!votes_.Allow(clientAddress)) return TooMany("ratings", votes_.SecondsUntilNext(clientAddress));
    Verdict verdict;
    verdict.digest = digest;
    verdict.address = std::string(clientAddress);
    verdict.fileName = RecordSafe(QueryValue(params, "file").value_or(""));
    verdict.label = "A user on " + Today();
    verdict.verdict = *report;
    verdict.time = Now();
    try {
      store_.RecordVerdict(verdict);
    } catch (const StoreError& failure) {
      return WriteFailed(failure);
    }
    Written();
    return {200, "text/plain", "recorded " + *report + " for " + digest};
  }

  std::vector<Verdict> verdicts;
  try {
    verdicts = store_.Verdicts(digest, kMaxListedVerdicts);
  } catch (const StoreError& failure) {
    return ReadFailed(failure);
  }
  ReadWorked();
  if (verdicts.empty()) return {200, "text/plain", "no record found"};
  // The client skips the piece before the first "<br>" and takes every later piece,
  // the last one too, as a record: so nothing may follow the last verdict.
  std::string body = std::to_string(verdicts.size()) + (verdicts.size() == 1 ? " rating" : " ratings") +
                     " for " + digest;
  for (const auto& verdict : verdicts) {
    body += "<br>" + std::to_string(verdict.id) + "|" + verdict.fileName + "|" + verdict.label + "|" +
            verdict.verdict;
  }
  return {200, "text/plain", body};
}

Reply Handlers::ReceiveErrorReport(std::string_view contentType, std::string_view body,
                                   std::string_view clientAddress) {
  if (clientAddress.empty()) return ErrorReply(400, "the client's address is unknown");
  const auto boundary = MultipartBoundary(contentType);
  if (!boundary) return ErrorReply(400, "expected a multipart/form-data body with a boundary");
  const auto fields = ParseMultipart(body, *boundary);
  const auto prog = FindField(fields, "prog");
  const auto err = FindField(fields, "err");
  if (!prog || !err) return ErrorReply(400, "the form fields prog and err are required");
  if (!reports_.Allow(clientAddress)) return TooMany("error reports", reports_.SecondsUntilNext(clientAddress));
  try {
    store_.AddErrorReport({0, Now(), std::string(clientAddress), *prog, *err}, CurrentRetention());
  } catch (const StoreError& failure) {
    return WriteFailed(failure);
  }
  Written();
  return HtmlReply(Page("Thank you", "<p>Your report has been received.</p>"));
}

Reply Handlers::ErrorReportPage(std::string_view target) {
  const QueryParams params = ParseQuery(target);
  const std::string request = QueryValue(params, "request").value_or("");
  const std::string program = ProgramBaseName(QueryValue(params, "program").value_or(""));

  if (request == "dn") {
    return HtmlReply(Page("Support Runwarden",
                          "<p>Thank you for thinking of a donation. Runwarden stays free either way; "
                          "what helps most is an error report or a good idea when something is missing.</p>"));
  }
  if (request == "er") {
    std::int64_t count = 0;
    try {
      count = store_.CountErrorReports(program);
    } catch (const StoreError& failure) {
      return ReadFailed(failure);
    }
    ReadWorked();
    return HtmlReply(Page("Report an error in " + program,
                          "<p>" + std::to_string(count) + (count == 1 ? " report" : " reports") +
                              " about " + HtmlEscape(program) + " received so far.</p>" +
                              ReportForm(program, "What went wrong, and what did you do just before?")));
  }
  if (request == "fr") {
    return HtmlReply(Page("Request a feature for " + program,
                          ReportForm(program + " feature request", "Which feature would you like to see?")));
  }
  return ErrorReply(400, "request must be dn, er or fr");
}

Reply Handlers::UpdateList() const {
  const auto file = dataFolder_ / "updates" / "updates.ini";
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return ErrorReply(404, "no update list is published");
  std::ifstream in(file, std::ios::binary);
  std::string content(kMaxUpdateList + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<size_t>(in.gcount()));
  if (content.size() > kMaxUpdateList) return ErrorReply(500, "the update list is too large");
  return {200, "text/plain", std::move(content)};
}

}  // namespace server
