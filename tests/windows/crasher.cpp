// A program that crashes at once: a crash under Wine must end the test that ran it.
#include <cstdio>

int main() {
  std::puts("crashing on purpose");
  std::fflush(stdout);
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
