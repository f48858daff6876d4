#pragma once

// The system tools behind the Apple backend and the way they are run.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace nubrik::macos {

inline constexpr const char* networksetup = "/usr/sbin/networksetup";
inline constexpr const char* ifconfig = "/sbin/ifconfig";
inline constexpr const char* serviceListBanner =
    "An asterisk (*) denotes that a network service is disabled.";
// Set over the daemon's own environment for every tool, so that the tools print untranslated
// English whatever locale the daemon was started with.
inline const std::vector<std::pair<std::string, std::string>> stableProcessEnvironment = {
    {"LC_ALL", "C"}, {"LANG", "C"}};

struct ShellResult {
  std::string output;  // standard output, or "" when it is not valid UTF-8
  int32_t status;      // exit status; the signal number for a killed child; -1 when not started
  bool operator==(const ShellResult&) const = default;
};

// Runs `executable` (a full path, no shell, no search) with exactly `arguments`, standard output
// captured to its end and standard error discarded, and waits for it without a time-out.
// Never throws.
ShellResult shellResult(const std::string& executable, const std::vector<std::string>& arguments);

// How the operations start a tool; production passes shellResult.
using ShellRunner =
    std::function<ShellResult(const std::string& executable, const std::vector<std::string>&)>;

// The output of a tool that exited with status 0; otherwise throws
// NetworkQueryError::commandFailed.
std::string runChecked(const ShellRunner& runner, const std::string& executable,
                       const std::vector<std::string>& arguments);

// Throws NetworkStateError::malformedOutput("listallnetworkservices") unless the banner occurs
// somewhere in the output.
void requireServiceBanner(const std::string& output);

}  // namespace nubrik::macos
