#include "bench/enforcement_latency.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bench/link_control.hpp"
#include "bench/process_runner.hpp"
#include "core/paths.hpp"
#include "helper/cli/commands.hpp"

namespace nubrik::bench {

namespace {

using std::chrono::milliseconds;

constexpr const char* daemonOutputFile = "/run/nubrik-bench-daemon.out";

void pause(milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

// The daemon as a child of the bench. It dies with the bench, whatever happens to the bench, so
// no daemon is ever left behind in an abandoned namespace.
class DaemonProcess {
 public:
  explicit DaemonProcess(const std::string& helper) {
    const std::vector<std::string> argv = {helper, "--daemon"};
    std::vector<std::string> environment = childEnvironment();
    std::vector<char*> argvPointers, environmentPointers;
    for (const std::string& argument : argv)
      argvPointers.push_back(const_cast<char*>(argument.c_str()));
    argvPointers.push_back(nullptr);
    for (std::string& entry : environment) environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);
    const int output =
        ::open(daemonOutputFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ == 0) {
      if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
      if (input >= 0) ::dup2(input, STDIN_FILENO);
      if (output >= 0) {
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
      }
      ::execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
      ::_exit(127);
    }
    if (output >= 0) ::close(output);
    if (input >= 0) ::close(input);
    if (pid_ < 0) throw std::runtime_error("fork failed for the daemon");
  }

  ~DaemonProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      (void)reap(0);
    }
  }

  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  bool running() { return !exited_ && !reap(WNOHANG); }
  pid_t pid() const { return pid_; }

  // SIGTERM, then SIGKILL after 5 s. The exit status, or 128 + the signal that ended it.
  int stop() {
    if (!exited_) {
      ::kill(pid_, SIGTERM);
      for (int waited = 0; waited < 500 && !reap(WNOHANG); ++waited) pause(milliseconds(10));
      if (!exited_) {
        ::kill(pid_, SIGKILL);
        (void)reap(0);
      }
    }
    return status_;
  }

 private:
  // Whether the daemon has exited (and was reaped).
  bool reap(int flags) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid_, &status, flags);
    if (reaped != pid_) return false;
    exited_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = -1;
};

std::string readFile(const std::string& path) {
  std::ifstream stream(path);
  std::ostringstream content;
  content << stream.rdbuf();
  return content.str();
}

bool hasContent(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && info.st_size > 0;
}

// Runs one command of the helper, again while a tick of the daemon holds the state lock.
CommandResult helperCommand(const std::string& helper, const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment = {}) {
  std::vector<std::string> argv = {helper};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  CommandResult result;
  for (int attempt = 0; attempt < 200; ++attempt) {
    result = runCommand(argv, {.extraEnvironment = environment, .captureStandardError = true});
    if (result.exitStatus != exit_status::transactionUnavailable) break;
    pause(milliseconds(10));
  }
  return result;
}

std::string describe(const CommandResult& result) {
  return "exit " + std::to_string(result.exitStatus) + ": " + result.output;
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
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The scheduler's account of a process: nanoseconds on a CPU and nanoseconds runnable but
// waiting for one (the first two fields of /proc/PID/schedstat).
struct SchedulerTimes {
  int64_t running = 0;
  int64_t waiting = 0;
};

std::optional<SchedulerTimes> schedulerTimes(pid_t pid) {
  std::ifstream stream("/proc/" + std::to_string(pid) + "/schedstat");
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

}  // namespace

LatencyResult measureEnforcementLatency(const std::vector<SandboxLink>& links,
                                        const LatencyOptions& options) {
  if (links.empty()) throw std::runtime_error("no links to measure");
  LatencyResult result;
  // The log may already hold corrections made by other measurements in this sandbox.
  const int correctionsBefore =
      countOccurrences(readFile(NubrikPaths::logFile), "enforcement: brought interface ");
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
  // Lets the daemon's passes woken by the start itself finish before the first trial.
  pause(milliseconds(200));

  int consecutiveTimeouts = 0;
  for (int trial = 0; trial < options.trials; ++trial) {
    const SandboxLink& link = links[static_cast<size_t>(trial) % links.size()];
    const int index = linkIndex(link.name);
    monitor.drain();
    const std::optional<SchedulerTimes> scheduledBefore = schedulerTimes(daemon.pid());
    const std::optional<SchedulerTimes> benchBefore = schedulerTimes(::getpid());
    const int64_t begin = monotonicNanoseconds();
    control.setUp(index, true);
    const std::optional<int64_t> down =
        monitor.waitForDown(index, begin + int64_t{options.timeoutMilliseconds} * 1'000'000);
    if (down) {
      const double elapsed = static_cast<double>(*down - begin) / 1e6;
      result.milliseconds.push_back(elapsed);
      result.byKind[link.kind].push_back(elapsed);
      // Read after the clock stopped: the daemon may still be finishing its pass, so this is
      // an upper bound of what the trial cost it.
      const std::optional<SchedulerTimes> scheduledAfter = schedulerTimes(daemon.pid());
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
      if (++consecutiveTimeouts >= 3 || !daemon.running()) {
        result.problems.push_back("the daemon stopped answering after trial " +
                                  std::to_string(trial + 1) +
                                  (daemon.running() ? "" : " (it exited)"));
        break;
      }
    }
    pause(milliseconds(options.gapMilliseconds));
  }

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
  return result;
}

}  // namespace nubrik::bench
