#include "FuzzInput.h"

#include <cstdio>
#include <cstdlib>

void FuzzFailure(const char* what) {
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}
