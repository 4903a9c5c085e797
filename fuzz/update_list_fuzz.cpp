// The update list as the server may send it: the installed version, then the list.
#include "FuzzInput.h"
#include "app/ErrorScope.h"
#include "net/MakerService.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  std::string installed = input.Line();
  std::string list = input.Rest();
  int asked = 0;
  bool newer = false;
  try {
    newer = UpdateListOffersNewer(list, "Runwarden.exe", [&] {
      ++asked;
      return installed;
    });
  } catch (const RuntimeError&) {
    return 0;  // a list that ends early: the check gives no update
  }
  FuzzCheck(!newer || (list.size() >= 100 && asked > 0), "an update offered without an entry");
  return 0;
}
