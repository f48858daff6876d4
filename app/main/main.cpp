#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return nubrik::runCommandLine(arguments, std::cout, std::cerr,
                                nubrik::CommandLineDependencies::production());
}
