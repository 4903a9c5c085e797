// The community server's reading of a multipart body: the Content-Type, then the body,
// read with the boundary the type names and with the program's own boundary.
#include "FuzzInput.h"
#include "Multipart.h"

namespace {

void CheckFields(const std::string& body, const std::string& boundary) {
  std::vector<server::FormField> fields = server::ParseMultipart(body, boundary);
  for (const server::FormField& field : fields)
    FuzzCheck(body.find(field.value) != std::string::npos, "a field value not in the body");
  server::FindField(fields, "err");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  std::string content_type = input.Line();
  std::string body = input.Rest();
  if (auto boundary = server::MultipartBoundary(content_type)) {
    FuzzCheck(!boundary->empty(), "an empty boundary");
    CheckFields(body, *boundary);
  }
  CheckFields(body, "98971212161631");
  return 0;
}
