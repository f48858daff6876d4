#include "app/command_line.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/nubrik_xpc.hpp"

namespace nubrik {
namespace {

const std::string unavailableText =
    "The helper is unavailable. Make sure it is installed and running.";
const std::string unavailableLine = "error: " + unavailableText + "\n";

// Each request records its name and returns the outcome the test set.
struct Fakes {
  HealthProbeResult health = HealthProbeResult::ready(nubrikHelperVersion);
  XPCStartOutcome start = XPCStartOutcome::started(std::nullopt);
  EarlyUnlockOutcome unlock = EarlyUnlockOutcome::helperUnavailable();
  ScheduleLoadOutcome load = ScheduleLoadOutcome::loaded({});
  ScheduleSaveOutcome save = ScheduleSaveOutcome::saved();
  PublicStatusResult status =
      PublicStatusResult::unavailable(PublicStatusUnavailableReason::missing);
  std::map<std::string, std::string> files = {};
  std::vector<std::string> requests = {};
  std::optional<double> startSeconds = {};
  std::vector<RecurringSchedule> saved = {};

  template <typename Outcome>
  std::function<Outcome()> request(const char* name, const Outcome& outcome) {
    return [this, name, &outcome] {
      requests.push_back(name);
      return outcome;
    };
  }

  CommandLineDependencies dependencies() {
    return CommandLineDependencies{
        request("health", health),
        [this](double seconds) {
          startSeconds = seconds;
          return request("start", start)();
        },
        request("unlock", unlock),
        request("cancel-unlock", unlock),
        request("schedules", load),
        [this](const std::vector<RecurringSchedule>& schedules) {
          saved = schedules;
          return request("schedules set", save)();
        },
        [this] { return status; },
        [this](const std::string& path) {
          if (!files.contains(path)) throw std::runtime_error("No such file or directory");
          return files.at(path);
        },
        // 1'000'000'000 seconds since 1970; times print as such, so no time zone is involved.
        [] { return dateFromUnixSeconds(1'000'000'000); },
        [](Date date) { return "T" + std::to_string(std::llround(secondsSince1970(date))); },
        [this](std::ostream& err) {
          requests.push_back("desktop");
          err << "error: cannot start the desktop app\n";
          return tamselExitDesktopUnavailable;
        },
    };
  }
};

struct Invocation {
  int status;
  std::string out;
  std::string err;
};

Invocation run(Fakes& fakes, std::vector<std::string> arguments) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runCommandLine(arguments, out, err, fakes.dependencies());
  return {status, out.str(), err.str()};
}

// Help prints the usage; a usage error exits with 2. Which durations are valid is the duration
// parser's test.
TEST(CommandLine, HelpAndUsageErrorsSendNothing) {
  const std::vector<std::vector<std::string>> usages = {
      {"gui", "now"}, {"frobnicate"},       {"status", "--yaml"},          {"start"},
      {"start", "4"}, {"schedules", "get"}, {"schedules", "set", "a", "b"}};
  const std::vector<std::vector<std::string>> helps = {
      {"--help"}, {"start", "--help"}, {"help"}, {"gui", "--help"}, {"-h"}};
  for (const bool help : {false, true}) {
    for (const std::vector<std::string>& arguments : help ? helps : usages) {
      SCOPED_TRACE(testing::PrintToString(arguments));
      Fakes fakes;
      const Invocation result = run(fakes, arguments);
      EXPECT_EQ(result.status, help ? tamselExitSuccess : tamselExitUsage);
      EXPECT_EQ(result.out, help ? tamselUsage() : "");
      EXPECT_EQ(result.err.starts_with("error: "), !help);
      EXPECT_TRUE(fakes.requests.empty());
    }
  }
  Fakes fakes;
  EXPECT_EQ(
      run(fakes, {"start", "0:04"}).err,
      "error: Enter 5 minutes to 24 hours, like 1:15 or 90\nRun \"tamsel --help\" for usage.\n");
}

// Without a command, or with "gui", tamsel becomes the desktop app; it comes back only when that
// failed.
TEST(CommandLine, NoCommandOrGuiLaunchesTheDesktopApp) {
  for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{"gui"}}) {
    Fakes fakes;
    const Invocation result = run(fakes, arguments);
    EXPECT_EQ(result.status, tamselExitDesktopUnavailable);
    EXPECT_EQ(result.err, "error: cannot start the desktop app\n");
    EXPECT_EQ(fakes.requests, std::vector<std::string>{"desktop"});
  }
}

// Success on standard output with 0, the helper's refusal on standard error with 1, an
// unreachable helper with 3. The commonest outcomes of each command, and their texts, are run over
// the bus by the end-to-end tests (`tamsel schedules` by the client's bus test).
TEST(CommandLine, OutcomesAndExitStatuses) {
  struct Case {
    std::vector<std::string> arguments;
    Fakes given;
    int status;
    std::string printed;
  };
  const std::vector<Case> cases = {
      {{"start", "1h", "30m"},
       {.start = XPCStartOutcome::activationPending(std::nullopt)},
       0,
       "Session saved; the network lock is still being applied.\n"},
      // The client's own refusal to connect is no refusal of the helper's.
      {{"start", "90"}, {.start = XPCStartOutcome::failed(unavailableText)}, 3, unavailableLine},
      {{"start", "90"}, {.start = XPCStartOutcome::helperUnavailable()}, 3, unavailableLine},
      {{"health"},
       {.health = HealthProbeResult::versionMismatch(4, 5)},
       1,
       "error: The helper speaks protocol version 4, but this app needs version 5.\n"},
      {{"unlock"}, {}, 3, unavailableLine},
      {{"schedules"},
       {.load = ScheduleLoadOutcome::failed("Not saved.")},
       1,
       "error: Not saved.\n"},
      {{"schedules"}, {.load = ScheduleLoadOutcome::helperUnavailable()}, 3, unavailableLine},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments) + " " + c.printed);
    Fakes fakes = c.given;
    const Invocation result = run(fakes, c.arguments);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(c.status == 0 ? result.out : result.err, c.printed);
    EXPECT_EQ(c.status == 0 ? result.err : result.out, "");
    EXPECT_EQ(fakes.requests, std::vector<std::string>{c.arguments.front()});
    // Every start above asks for 90 minutes, in seconds.
    EXPECT_EQ(fakes.startSeconds,
              c.arguments.front() == "start" ? std::optional(5400.0) : std::nullopt);
  }
}

TEST(CommandLine, StatusTextsAndJSON) {
  // Now is 21'692'800 seconds since 2001, the status file's reference. Online and a plain
  // countdown are the end-to-end tests'.
  struct Case {
    PublicStatusResult status;
    int exitStatus;
    std::string out;
  };
  const std::vector<Case> cases = {
      {parsePublicStatus(
           R"({"active":true,"expirationDate":21696700,"remainingSeconds":3900,"earlyUnlockPending":true})"),
       0, "Offline for 1:05:00 more (until T1000003900).\nEarly unlock in progress.\n"},
      {parsePublicStatus(R"({"active":true,"expirationDate":21692000,"remainingSeconds":0})"), 0,
       "Offline; the session ended at T999999200 and the network is being restored.\n"},
      {PublicStatusResult::unavailable(PublicStatusUnavailableReason::busy), 3,
       "Status unavailable (busy).\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status.json);
    Fakes fakes{.status = c.status};
    const Invocation text = run(fakes, {"status"});
    EXPECT_EQ(text.status, c.exitStatus);
    EXPECT_EQ(text.out, c.out);
    const Invocation json = run(fakes, {"status", "--json"});
    EXPECT_EQ(json.status, c.exitStatus);
    EXPECT_EQ(json.out, c.status.json + "\n");
  }
}

TEST(CommandLine, SchedulesSetSendsTheDecodedFile) {
  Fakes fakes;
  fakes.files["week.json"] =
      R"( [ {"id":"A","weekdays":[3,2],"startMinute":540,"durationMinutes":60,"isEnabled":true} ] )";
  fakes.files["-"] = "[]";
  fakes.files["broken.json"] = R"([{"id":"A"}])";

  Invocation result = run(fakes, {"schedules", "set", "week.json"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Schedules saved.\n");
  const std::vector<RecurringSchedule> expected = {RecurringSchedule{"A", {2, 3}, 540, 60, true}};
  EXPECT_EQ(fakes.saved, expected);

  fakes.save = ScheduleSaveOutcome::refused("Too many schedules (maximum 20).");
  result = run(fakes, {"schedules", "set", "-"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "error: Too many schedules (maximum 20).\n");

  fakes.requests.clear();
  result = run(fakes, {"schedules", "set", "missing.json"});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(result.err.starts_with("error: cannot read missing.json: No such file or directory"));
  result = run(fakes, {"schedules", "set", "broken.json"});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(result.err.starts_with("error: broken.json does not hold a JSON array of schedules"));
  EXPECT_TRUE(fakes.requests.empty());
}

TEST(CommandLine, AFailureOfTheMachineryIsReportedNotThrown) {
  Fakes fakes;
  CommandLineDependencies dependencies = fakes.dependencies();
  dependencies.probeHealth = []() -> HealthProbeResult {
    throw std::runtime_error("sd_event_new: Cannot allocate memory");
  };
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(runCommandLine({"health"}, out, err, dependencies), tamselExitUnavailable);
  EXPECT_EQ(err.str(), "error: sd_event_new: Cannot allocate memory\n");
}

}  // namespace
}  // namespace nubrik
