// The program's own profile reader (ver.ini, updates.ini, virrules.ini in both builds)
// over any text: the section, the key, then the file.
#include "FuzzInput.h"
#include "platform/common/profile_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  std::string section = input.Line();
  std::string key = input.Line();
  std::string text = input.Rest();
  for (std::size_t capacity : {0u, 1u, 8u, 999u}) {
    std::string value =
        platform::ReadProfileFromText(text, section, key, " <default> ", capacity);
    FuzzCheck(capacity == 0 ? value.empty() : value.size() < capacity,
              "a value longer than its buffer");
    FuzzCheck(value.find_first_of("\r\n") == std::string::npos, "a value ran over its line's end");
    FuzzCheck(value.empty() || value == std::string("<default>").substr(0, capacity - 1) ||
                  text.find(value) != std::string::npos,
              "a value that is neither the default nor in the file");
  }
  return 0;
}
