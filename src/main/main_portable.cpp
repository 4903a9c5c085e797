// The portable build's entry: the arguments joined by blanks are the argument text.
#include <string>

#include "app/LaunchModes.h"
#include "main/ProgramModes.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += (i > 1 ? " " : "") + std::string(argv[i]);
  int exit_code = 0;
  if (Main(arguments, RunwardenModes(), &exit_code) == MainOutcome::kEndAtOnce)
    platform::EndProcessNow(exit_code);
  return 0;
}
