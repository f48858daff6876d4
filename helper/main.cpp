#include <sysexits.h>

#include <clocale>

#include "helper/cli/arguments.hpp"
#include "helper/cli/commands.hpp"
#include "helper/daemon/daemon.hpp"

int main(int argc, char** argv) {
  // Only the time style follows the user's locale; numbers keep the C grammar.
  std::setlocale(LC_TIME, "");
  try {
    return nubrik::execute(nubrik::parseArguments(argc, argv), nubrik::CommandContext::standard(),
                           [] { return nubrik::runDaemon(); });
  } catch (...) {
    return EX_SOFTWARE;
  }
}
