// The community server's reading of a request target's query.
#include "FuzzInput.h"
#include "Query.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string target(reinterpret_cast<const char*>(data), size);
  FuzzCheck(server::PercentDecode(target).size() <= target.size(), "decoding made text longer");
  server::QueryParams params = server::ParseQuery(target);
  std::size_t total = 0;
  for (const auto& [name, value] : params)
    total += name.size() + value.size();
  FuzzCheck(total <= target.size(), "the pairs hold more than the target");
  if (auto md5 = server::QueryValue(params, "md5"))
    FuzzCheck(md5->size() <= target.size(), "a value longer than the target");
  return 0;
}
