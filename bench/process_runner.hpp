#pragma once

#include <string>
#include <vector>

namespace nubrik::bench {

struct CommandResult {
  // The exit status, or -1 when the program could not be started or was killed by a signal.
  int exitStatus = -1;
  std::string output;
};

struct CommandOptions {
  std::vector<std::string> extraEnvironment;  // "NAME=value" entries added to the fixed ones
  bool captureStandardError = false;          // appended to output instead of discarded
};

// Runs argv[0] (an absolute path) with argv and a fixed C-locale environment, captures its
// standard output and waits for it. The child is reaped here, so its CPU time lands in this
// process's RUSAGE_CHILDREN.
CommandResult runCommand(const std::vector<std::string>& argv, const CommandOptions& options = {});

// The fixed environment of every child: a system PATH and the C locale.
std::vector<std::string> childEnvironment(const std::vector<std::string>& extra = {});

// How many programs runCommand has started in this process so far.
unsigned long commandsStarted();

// The ip tool of this machine (/usr/sbin/ip, /sbin/ip, ...); throws std::runtime_error if none.
const std::string& ipTool();

}  // namespace nubrik::bench
