#include "bench/timer_pass_cost.hpp"

#include <time.h>

#include <exception>
#include <optional>
#include <sstream>

#include "bench/link_control.hpp"
#include "bench/statistics.hpp"
#include "helper/cli/commands.hpp"
#include "helper/context/helper.hpp"
#include "helper/coordinators/enforcement_coordinator.hpp"
#include "helper/daemon/daemon_tick_coordinator.hpp"

namespace nubrik::bench {

namespace {

// Passes are measured until both bounds are reached, and never more often than the cap.
constexpr int minimumRounds = 30;
constexpr int64_t minimumNanoseconds = 1'500'000'000;
constexpr int maximumRounds = 3000;

int64_t processCpuNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// CPU and wall time of one call, in microseconds.
struct Spent {
  double cpu = 0;
  double wall = 0;
};

template <typename Work>
Spent timed(Work&& work) {
  const int64_t cpuBefore = processCpuNanoseconds();
  const int64_t wallBefore = monotonicNanoseconds();
  work();
  return {static_cast<double>(processCpuNanoseconds() - cpuBefore) / 1e3,
          static_cast<double>(monotonicNanoseconds() - wallBefore) / 1e3};
}

// The helper's own commands, in this process, with their output kept for problem reports.
int runCommandInProcess(const std::function<int(const CommandContext&)>& command,
                        std::string& output) {
  std::ostringstream out, err;
  const CommandContext context{
      .out = out,
      .err = err,
      .isRoot = [] { return true; },
      .environment = [](const std::string& name) -> std::optional<std::string> {
        if (name == "NUBRIK_FORCE") return "YES";
        return std::nullopt;
      },
  };
  const int status = command(context);
  output = out.str() + err.str();
  return status;
}

void measure(Helper& helper, const std::vector<SandboxLink>& links, TimerPassCost& cost) {
  LinkControl control;
  // The timer's tick must be the one that enforces: a link turned on is down after one tick.
  const int probe = linkIndex(links.front().name);
  control.setUp(probe, true);
  nubrik::tick(helper);
  if (control.isUp(probe)) {
    control.setUp(probe, false);
    cost.problems.push_back("the timer's tick left " + links.front().name +
                            " up: it did not run the enforcement pass");
  }

  LinkDumper dumper;
  if (const size_t listed = dumper.dump().size(); listed != links.size()) {
    cost.problems.push_back("the link dump lists " + std::to_string(listed) + " links instead of " +
                            std::to_string(links.size()));
  }
  bool outcomeReported = false;
  std::vector<double> tickCpu, tickWall, enforcementCpu, dumpCpu, dumpWall;
  const int64_t begin = monotonicNanoseconds();
  for (int round = -3; round < maximumRounds; ++round) {
    // The first rounds only warm up (the first tick also anchors the session in this boot).
    const Spent tick = timed([&] { nubrik::tick(helper); });
    EnforcementOutcome outcome = EnforcementOutcome::noCorrectionNeeded;
    const Spent enforcement =
        timed([&] { outcome = EnforcementCoordinator(helper.network(), {}).enforce(); });
    const Spent dump = timed([&] { (void)dumper.dump(); });
    if (outcome != EnforcementOutcome::noCorrectionNeeded && !outcomeReported) {
      cost.problems.push_back(
          "an enforcement pass over links that were all down corrected or "
          "failed");
      outcomeReported = true;
    }
    if (round < 0) continue;
    tickCpu.push_back(tick.cpu);
    tickWall.push_back(tick.wall);
    enforcementCpu.push_back(enforcement.cpu);
    dumpCpu.push_back(dump.cpu);
    dumpWall.push_back(dump.wall);
    if (round + 1 >= minimumRounds && monotonicNanoseconds() - begin >= minimumNanoseconds) break;
  }
  cost.rounds = static_cast<int>(tickCpu.size());
  cost.tickMicroseconds = median(sortedCopy(tickCpu));
  cost.tickWallMicroseconds = median(sortedCopy(tickWall));
  cost.enforcementMicroseconds = median(sortedCopy(enforcementCpu));
  cost.dumpMicroseconds = median(sortedCopy(dumpCpu));
  cost.dumpWallMicroseconds = median(sortedCopy(dumpWall));
}

}  // namespace

TimerPassCost measureTimerPassCost(const std::vector<SandboxLink>& links) {
  TimerPassCost cost;
  cost.links = links.size();
  if (links.empty()) {
    cost.problems.push_back("no links to measure the timer's pass over");
    return cost;
  }
  // One helper for the whole measurement, as the daemon keeps one for its life.
  Helper helper;
  std::string output;
  if (const int status = runCommandInProcess(
          [&](const CommandContext& context) {
            return doStart(3600, context, StartCommandOperations::production(helper));
          },
          output);
      status != 0) {
    cost.problems.push_back("starting a session for the timer's pass failed (exit " +
                            std::to_string(status) + "): " + output);
    return cost;
  }
  try {
    measure(helper, links, cost);
  } catch (const std::exception& error) {
    cost.problems.push_back(std::string("measuring the timer's pass: ") + error.what());
  }
  if (const int status = runCommandInProcess(
          [&](const CommandContext& context) {
            return doRecover(context, RecoverCommandOperations::production(helper));
          },
          output);
      status != 0) {
    cost.problems.push_back("recovering after the timer's pass failed (exit " +
                            std::to_string(status) + "): " + output);
  }
  return cost;
}

}  // namespace nubrik::bench
