#include "net/CommunityRating.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "app/TextFunctions.h"
#include "net/ServerAddress.h"
#include "net/MakerService.h"

namespace {

// Line feeds go, then the blanks around; a carriage return stays part of the verdict.
std::string CleanVerdict(std::string verdict) {
  verdict.erase(std::remove(verdict.begin(), verdict.end(), '\n'), verdict.end());
  size_t first = verdict.find_first_not_of(' ');
  if (first == std::string::npos)
    return "";
  size_t last = verdict.find_last_not_of(' ');
  return verdict.substr(first, last - first + 1);
}

int32_t RoundHalfToEven(double value) {
  double floor = std::floor(value);
  double fraction = value - floor;
  if (fraction > 0.5)
    return static_cast<int32_t>(floor + 1);
  if (fraction < 0.5)
    return static_cast<int32_t>(floor);
  return static_cast<int32_t>(std::fmod(floor, 2.0) == 0 ? floor : floor + 1);
}

}  // namespace

std::string PercentEncode(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      result += static_cast<char>(c);
      continue;
    }
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", c);
    result += escaped;
  }
  return result;
}

std::string CommunityQueryUrl(const std::string& hash) {
  return "http://" + ServerAddress() + kCommunityPath + PercentEncode(hash);
}

std::string CommunityReportUrl(const std::string& hash,
                               const std::string& file_name,
                               bool allowed) {
  return CommunityQueryUrl(hash) + "&file=" + PercentEncode(file_name) +
         "&report=" + (allowed ? "al" : "bl");
}

CommunityResult ReadCommunityReply(const std::string& reply) {
  CommunityResult result;
  std::string lower = LowerCase(reply);
  if (lower.find("no record found") != std::string::npos) {
    result.lines.push_back(kNoRatingLine);
    return result;
  }
  if (lower.find("<br>") != std::string::npos) {
    std::vector<std::string> records = SplitText(reply, "<br>");
    for (size_t index = 1; index < records.size(); ++index) {
      std::vector<std::string> fields = SplitText(records[index], "|");
      if (fields.size() < 4) {
        // The lines so far stay; the counts do not.
        result.lines.push_back(kLookupErrorLine);
        result.allowed = result.blocked = 0;
        return result;
      }
      bool allowed = CleanVerdict(fields[3]) == "al";
      result.lines.push_back(fields[2] + " " + (allowed ? "Allowed" : "Blocked") + " the file '" +
                             fields[1] + "' having same hash");
      ++(allowed ? result.allowed : result.blocked);
    }
  }
  if (result.allowed + result.blocked < 1)
    result.lines.push_back(kCannotConnectLine);
  result.score = result.allowed - result.blocked;
  return result;
}

CommunityResult CommunityLookup(ctlProgramSupport& support, const std::string& hash) {
  return ReadCommunityReply(support.DownloadUrl(CommunityQueryUrl(hash)));
}

void ReportDecision(ctlProgramSupport& support,
                    const std::string& hash,
                    const std::string& file_name,
                    bool allowed) {
  if (hash.empty())
    return;
  support.DownloadUrl(CommunityReportUrl(hash, file_name, allowed));
}

CommunityBar CommunityBarLayout(int32_t progress_width,
                                int32_t blocked_left,
                                int32_t allowed,
                                int32_t blocked) {
  CommunityBar bar;
  if (allowed + blocked < 1)
    return bar;
  bar.unit = RoundHalfToEven(static_cast<double>(progress_width - 50) / (allowed + blocked));
  bar.blocked_width = blocked * bar.unit;
  bar.allowed_width = allowed * bar.unit;
  bar.allowed_left = blocked_left + bar.blocked_width;
  return bar;
}
