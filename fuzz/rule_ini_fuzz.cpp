// The loose reader of prerules.ini over any text: the section, the key, then the file.
#include "FuzzInput.h"
#include "app/RuleIni.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  std::string section = input.Line();
  std::string key = input.Line();
  std::string text = input.Rest();
  std::string value = ReadExIniText(text, section, key, "<default>");
  // A value is a piece of one line of the file.
  FuzzCheck(value == "<default>" || text.find(value) != std::string::npos,
            "ReadExIniValue gave text that is not in the file");
  FuzzCheck(value.find('\r') == std::string::npos, "a value ran over its line's end");
  return 0;
}
