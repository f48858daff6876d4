#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace nubrik {

// What the command line asks for. Only the first argument selects the mode.
struct RunDaemon {
  bool operator==(const RunDaemon&) const = default;
};
struct StartSession {
  double duration = 0;  // seconds, as given; the session start checks the bounds
};
struct PrintStatus {
  bool operator==(const PrintStatus&) const = default;
};
struct ForceRecovery {
  bool operator==(const ForceRecovery&) const = default;
};
// Unknown first argument.
struct UsageError {
  bool operator==(const UsageError&) const = default;
};
// "--start" without any accepted duration value.
struct MissingDuration {
  bool operator==(const MissingDuration&) const = default;
};

using ParsedCommand =
    std::variant<RunDaemon, StartSession, PrintStatus, ForceRecovery, UsageError, MissingDuration>;

inline constexpr std::string_view usageText =
    "usage: nubrik-helper --daemon | --start --duration <sec> | --status | --recover\n";
inline constexpr int usageExitStatus = 1;
inline constexpr std::string_view missingDurationText =
    "error: --start requires --duration <seconds>\n";
inline constexpr int missingDurationExitStatus = 2;

// The arguments including the program name (argv[0]); fewer than two means the daemon.
ParsedCommand parseArguments(const std::vector<std::string>& arguments);
ParsedCommand parseArguments(int argc, const char* const* argv);

// A duration value: the whole text is a floating-point number in the C locale (strtod's grammar,
// so "inf" and "nan" count as numbers) and its first character is not white space.
std::optional<double> parseDurationValue(const std::string& value);

}  // namespace nubrik
