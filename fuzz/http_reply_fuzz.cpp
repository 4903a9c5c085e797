// What a server sends back: the reply cut to its body, and the community service's reply
// read into list lines and counts, both as received and after the cut.
#include "FuzzInput.h"
#include "net/CommunityRating.h"
#include "net/MakerService.h"

namespace {

void CheckCommunity(const std::string& reply) {
  CommunityResult result = ReadCommunityReply(reply);
  FuzzCheck(!result.lines.empty(), "a reply that shows nothing in the list");
  FuzzCheck(result.allowed >= 0 && result.blocked >= 0, "negative counts");
  FuzzCheck(result.score == result.allowed - result.blocked, "score is not A - B");
  FuzzCheck(static_cast<std::size_t>(result.allowed + result.blocked) <= result.lines.size(),
            "more records counted than listed");
  if (result.allowed + result.blocked > 0) {
    CommunityBar bar = CommunityBarLayout(3000, 100, result.allowed, result.blocked);
    FuzzCheck(bar.allowed_left == 100 + bar.blocked_width, "the bar's halves do not meet");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string response(reinterpret_cast<const char*>(data), size);
  std::string body = CutReply(response);
  FuzzCheck(response.find(body) != std::string::npos, "the body is not part of the reply");
  if (response.find("\r\n\r\n") != std::string::npos)
    FuzzCheck(body.find("\r\n\r\n") == std::string::npos, "the body holds a blank line");
  CheckCommunity(response);
  CheckCommunity(body);
  return 0;
}
