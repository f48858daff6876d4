#include "bench/enforcement_latency.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "bench/daemon_process.hpp"
#include "bench/link_control.hpp"
#include "bench/minimal_enforcer.hpp"
#include "core/paths.hpp"

namespace nubrik::bench {

namespace {

using std::chrono::milliseconds;

void pause(milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

bool hasContent(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && info.st_size > 0;
}

// Waits (up to `limit`) until every named link is in the wanted state; returns those that are not.
std::vector<std::string> linksNotInState(LinkControl& control,
                                         const std::vector<SandboxLink>& links,
                                         const std::set<std::string>& wantUp, milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::vector<std::string> wrong;
    for (const SandboxLink& link : links) {
      if (control.isUp(linkIndex(link.name)) != wantUp.contains(link.name)) {
        wrong.push_back(link.name);
      }
    }
    if (wrong.empty() || std::chrono::steady_clock::now() >= deadline) return wrong;
    pause(milliseconds(10));
  }
}

std::string joined(const std::vector<std::string>& names) {
  constexpr size_t shown = 8;
  std::string text;
  for (size_t i = 0; i < names.size() && i < shown; ++i) {
    text += (text.empty() ? "" : ", ") + names[i];
  }
  if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
  return text;
}

// The scheduler's account of a process or thread: nanoseconds on a CPU and nanoseconds runnable
// but waiting for one (the first two fields of /proc/ID/schedstat).
struct SchedulerTimes {
  int64_t running = 0;
  int64_t waiting = 0;
};

std::optional<SchedulerTimes> schedulerTimes(pid_t id) {
  std::ifstream stream("/proc/" + std::to_string(id) + "/schedstat");
  SchedulerTimes times;
  if (!(stream >> times.running >> times.waiting)) return std::nullopt;
  return times;
}

int countOccurrences(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

// Waits at least `gap`, then until the process or thread has neither run nor waited for a CPU for
// a few milliseconds: a pass still under way (the daemon's own change wakes it again) would
// otherwise delay the next trial. Gives up after a second.
void waitUntilQuiet(pid_t id, milliseconds gap) {
  constexpr milliseconds window(5);
  pause(gap);
  std::optional<SchedulerTimes> before = schedulerTimes(id);
  for (milliseconds waited(0); before && waited < milliseconds(1000); waited += window) {
    pause(window);
    const std::optional<SchedulerTimes> after = schedulerTimes(id);
    if (!after || (after->running == before->running && after->waiting == before->waiting)) {
      return;
    }
    before = after;
  }
}

// What the trials need to know of the enforcer under test.
struct EnforcerUnderTest {
  const char* name;
  pid_t schedulerId;  // a process or thread id for /proc/ID/schedstat
  std::function<bool()> running;
};

// The link of one trial. With fewer trials than links they are spread over all of them, so
// every kind present gets its share; otherwise the links take turns.
const SandboxLink& linkOfTrial(const std::vector<SandboxLink>& links, int trial, int trials) {
  const size_t count = links.size();
  const auto t = static_cast<size_t>(trial);
  if (static_cast<size_t>(trials) >= count) return links[t % count];
  return links[(t * count / static_cast<size_t>(trials)) % count];
}

// Runs trials [first, end) of `trials`; false when the enforcer stopped answering.
bool runTrials(const std::vector<SandboxLink>& links, const LatencyOptions& options, int first,
               int end, const EnforcerUnderTest& enforcer, LinkControl& control,
               LinkMonitor& monitor, LatencyResult& result) {
  int consecutiveTimeouts = 0;
  for (int trial = first; trial < end; ++trial) {
    const SandboxLink& link = linkOfTrial(links, trial, options.trials);
    const int index = linkIndex(link.name);
    monitor.drain();
    const std::optional<SchedulerTimes> scheduledBefore = schedulerTimes(enforcer.schedulerId);
    const std::optional<SchedulerTimes> benchBefore = schedulerTimes(::getpid());
    const int64_t begin = monotonicNanoseconds();
    control.setUp(index, true);
    const std::optional<int64_t> down =
        monitor.waitForDown(index, begin + int64_t{options.timeoutMilliseconds} * 1'000'000);
    if (down) {
      const double elapsed = static_cast<double>(*down - begin) / 1e6;
      result.milliseconds.push_back(elapsed);
      result.byKind[link.kind].push_back(elapsed);
      // Read after the clock stopped: the enforcer may still be finishing its work, so this is
      // an upper bound of what the trial cost it.
      const std::optional<SchedulerTimes> scheduledAfter = schedulerTimes(enforcer.schedulerId);
      const std::optional<SchedulerTimes> benchAfter = schedulerTimes(::getpid());
      if (scheduledBefore && scheduledAfter && benchBefore && benchAfter) {
        result.benchWaitingMilliseconds.push_back(
            static_cast<double>(benchAfter->waiting - benchBefore->waiting) / 1e6);
        result.daemonRunningMilliseconds.push_back(
            static_cast<double>(scheduledAfter->running - scheduledBefore->running) / 1e6);
        result.daemonWaitingMilliseconds.push_back(
            static_cast<double>(scheduledAfter->waiting - scheduledBefore->waiting) / 1e6);
      }
      consecutiveTimeouts = 0;
    } else {
      ++result.timeouts;
      control.setUp(index, false);
      const bool running = enforcer.running();
      if (++consecutiveTimeouts >= 3 || !running) {
        result.problems.push_back(std::string("the ") + enforcer.name +
                                  " stopped answering after trial " + std::to_string(trial + 1) +
                                  (running ? "" : " (it exited)"));
        return false;
      }
    }
    waitUntilQuiet(enforcer.schedulerId, milliseconds(options.gapMilliseconds));
  }
  return true;
}

// A block of the minimal enforcer's trials; it exists only for the block.
bool runMinimalEnforcerBlock(const std::vector<SandboxLink>& links, const LatencyOptions& options,
                             int first, int end, LinkControl& control, LinkMonitor& monitor,
                             LatencyResult& result) {
  MinimalEnforcer enforcer;
  while (enforcer.threadId() == 0 && enforcer.running()) pause(milliseconds(1));
  const bool answered = runTrials(links, options, first, end,
                                  {.name = "minimal enforcer",
                                   .schedulerId = enforcer.threadId(),
                                   .running = [&] { return enforcer.running(); }},
                                  control, monitor, result);
  result.correctionsLogged += enforcer.corrections();
  if (enforcer.overflows() > 0) {
    result.problems.push_back("the minimal enforcer lost notifications " +
                              std::to_string(enforcer.overflows()) + " times");
  }
  return answered;
}

}  // namespace

LatencyComparison measureEnforcementLatencies(const std::vector<SandboxLink>& links,
                                              const LatencyOptions& options) {
  if (links.empty()) throw std::runtime_error("no links to measure");
  LatencyComparison comparison;
  LatencyResult& result = comparison.daemon;
  // The log may already hold corrections made by other measurements in this sandbox.
  const int correctionsBefore =
      countOccurrences(readFile(NubrikPaths::logFile), "enforcement: brought interface ");
  // A status left by an earlier measurement would pass for this daemon's.
  if (::unlink(NubrikPaths::statusFile) != 0 && errno != ENOENT) {
    throw std::runtime_error(std::string("unlink ") + NubrikPaths::statusFile + ": " +
                             std::strerror(errno));
  }
  LinkControl control;
  LinkMonitor monitor;

  // One link of each kind is up when the session starts, so the start has something to record
  // and the recovery something to restore.
  std::set<std::string> upAtStart;
  std::set<std::string> kindsUp;
  for (const SandboxLink& link : links) {
    if (!kindsUp.insert(link.kind).second) continue;
    control.setUp(linkIndex(link.name), true);
    upAtStart.insert(link.name);
  }

  DaemonProcess daemon(options.helperPath);
  for (int waited = 0; !hasContent(NubrikPaths::statusFile); ++waited) {
    if (!daemon.running() || waited >= 1000) {
      throw std::runtime_error("the daemon did not publish " +
                               std::string(NubrikPaths::statusFile) +
                               " (daemon output: " + readFile(daemonOutputFile) + ")");
    }
    pause(milliseconds(10));
  }

  const CommandResult start = helperCommand(options.helperPath, {"--start", "--duration", "3600"});
  if (start.exitStatus != 0) {
    throw std::runtime_error("--start --duration 3600 failed (" + describe(start) + ")");
  }
  if (const auto stillUp = linksNotInState(control, links, {}, milliseconds(2000));
      !stillUp.empty()) {
    result.problems.push_back("after --start these links were still up: " + joined(stillUp));
  }

  // Blocks alternate which enforcer goes first, so a trend in the machine's load falls on both.
  const EnforcerUnderTest daemonUnderTest{
      .name = "daemon", .schedulerId = daemon.pid(), .running = [&] { return daemon.running(); }};
  bool daemonAnswers = true;
  bool minimalAnswers = true;
  const int blockTrials = std::max(1, options.blockTrials);
  for (int first = 0, block = 0; first < options.trials; first += blockTrials, ++block) {
    const int end = std::min(options.trials, first + blockTrials);
    for (const bool daemonTurn : {block % 2 == 0, block % 2 != 0}) {
      if (daemonTurn && daemonAnswers) {
        daemon.release();
        // Lets the daemon's passes woken by the start, or by what it missed while held, finish
        // before its first trial.
        pause(milliseconds(200));
        daemonAnswers =
            runTrials(links, options, first, end, daemonUnderTest, control, monitor, result);
        daemon.hold();
      } else if (!daemonTurn && minimalAnswers) {
        minimalAnswers = runMinimalEnforcerBlock(links, options, first, end, control, monitor,
                                                 comparison.minimal);
      }
    }
  }
  daemon.release();

  const std::string log = readFile(NubrikPaths::logFile);
  result.correctionsLogged =
      countOccurrences(log, "enforcement: brought interface ") - correctionsBefore;

  const CommandResult recover =
      helperCommand(options.helperPath, {"--recover"}, {"NUBRIK_FORCE=YES"});
  if (recover.exitStatus != 0) {
    result.problems.push_back("NUBRIK_FORCE=YES --recover failed (" + describe(recover) + ")");
  } else if (const auto wrong = linksNotInState(control, links, upAtStart, milliseconds(2000));
             !wrong.empty()) {
    result.problems.push_back("after --recover these links were not as recorded: " + joined(wrong));
  }
  if (const int status = daemon.stop(); status != 0) {
    result.problems.push_back("the daemon exited with status " + std::to_string(status) +
                              " on SIGTERM");
  }
  return comparison;
}

}  // namespace nubrik::bench
