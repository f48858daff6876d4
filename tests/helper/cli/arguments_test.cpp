#include "helper/cli/arguments.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace nubrik {
namespace {

// What a parse came to, flattened for table comparison: the mode and, for a start, its duration.
struct Parsed {
  std::string mode;
  std::optional<double> duration;
};

Parsed parse(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "/usr/libexec/nubrik/com.nubrik.helper");
  const ParsedCommand command = parseArguments(arguments);
  if (std::holds_alternative<RunDaemon>(command)) return {"daemon", std::nullopt};
  if (const auto* start = std::get_if<StartSession>(&command)) return {"start", start->duration};
  if (std::holds_alternative<PrintStatus>(command)) return {"status", std::nullopt};
  if (std::holds_alternative<ForceRecovery>(command)) return {"recover", std::nullopt};
  if (std::holds_alternative<UsageError>(command)) return {"usage", std::nullopt};
  return {"missing duration", std::nullopt};
}

struct GrammarCase {
  std::vector<std::string> arguments;
  std::string mode;
  std::optional<double> duration;
};

TEST(ArgumentGrammar, FirstArgumentSelectsTheModeAndStartTakesTheLastAcceptedDuration) {
  const std::vector<GrammarCase> cases = {
      {{}, "daemon", std::nullopt},
      {{"--daemon", "--start"}, "daemon", std::nullopt},
      {{"--status", "extra"}, "status", std::nullopt},
      {{"--recover", "--start", "--duration", "900"}, "recover", std::nullopt},
      {{"--STATUS"}, "usage", std::nullopt},
      {{"--duration", "900", "--start"}, "usage", std::nullopt},
      {{"--start", "--duration", "900"}, "start", 900.0},
      {{"--start", "--duration", "900", "--duration", "600"}, "start", 600.0},
      {{"--start", "--duration", "600", "--duration", "abc"}, "start", 600.0},
      {{"--start", "noise", "--duration", "1e3", "more"}, "start", 1000.0},
      {{"--start", "--duration", "900", "--duration"}, "start", 900.0},
      {{"--start"}, "missing duration", std::nullopt},
      {{"--start", "900"}, "missing duration", std::nullopt},
      // The first "--duration" consumes the second as its (rejected) value.
      {{"--start", "--duration", "--duration", "600"}, "missing duration", std::nullopt},
  };
  for (const GrammarCase& c : cases) {
    const Parsed parsed = parse(c.arguments);
    EXPECT_EQ(parsed.mode, c.mode) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.duration, c.duration) << testing::PrintToString(c.arguments);
  }
}

TEST(ArgumentGrammar, DurationValueIsAWholeCLocaleNumberWithoutLeadingBlank) {
  const std::vector<std::pair<std::string, std::optional<double>>> cases = {
      {"900", 900.0},
      {"9e2", 900.0},
      {"0x10", 16.0},
      {"", std::nullopt},
      {" 900", std::nullopt},
      {"900 ", std::nullopt},
      {"9,5", std::nullopt},
      // Non-finite values parse; the session start refuses them.
      {"inf", std::numeric_limits<double>::infinity()},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parseDurationValue(text), expected) << '"' << text << '"';
  }
  EXPECT_TRUE(std::isnan(parseDurationValue("nan").value_or(0)));
}

}  // namespace
}  // namespace nubrik
