// The community service: what other users decided about files with the same digest.
// The alert window asks it (the Community button, or the end of a countdown), shows the
// list lines and the bar, and reports every decision taken with a button.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ctlProgramSupport;

inline constexpr char kCommunityPath[] = "/~vantor/filecheck.php?md5=";
inline constexpr char kNoRatingLine[] = "no one has submitted rating for this file yet!";
inline constexpr char kCannotConnectLine[] = "cannot connect!";
inline constexpr char kLookupErrorLine[] = "error!";

struct CommunityResult {
  std::vector<std::string> lines;  // for List1, in order
  int32_t allowed = 0;             // A
  int32_t blocked = 0;             // B
  int32_t score = 0;               // A - B; 0 after an error
};

// Every byte but letters, digits and "-._~" as "%" and two upper-case hex digits.
std::string PercentEncode(const std::string& text);
// "http://" + server + the service's path + the encoded digest.
std::string CommunityQueryUrl(const std::string& hash);
// The query URL with the file name and the verdict ("al" allowed, "bl" blocked).
std::string CommunityReportUrl(const std::string& hash, const std::string& file_name, bool allowed);

// Reads a reply into list lines, counts and score.
CommunityResult ReadCommunityReply(const std::string& reply);
// Asks the service and reads its reply; blocks while letting messages run.
CommunityResult CommunityLookup(ctlProgramSupport& support, const std::string& hash);
// Tells the service about a decision; the reply is ignored. Nothing is sent without a hash.
void ReportDecision(ctlProgramSupport& support, const std::string& hash,
                    const std::string& file_name, bool allowed);

// The bar: Image4 (blocked) then Image5 (allowed) side by side inside `progress`.
struct CommunityBar {
  int32_t unit = 0;
  int32_t blocked_width = 0;
  int32_t allowed_width = 0;
  int32_t allowed_left = 0;
};
// Unit = (progress width - 50) / (A + B), rounded half to even. Needs A + B > 0.
CommunityBar CommunityBarLayout(int32_t progress_width, int32_t blocked_left, int32_t allowed,
                                int32_t blocked);
