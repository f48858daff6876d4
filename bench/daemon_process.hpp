#pragma once

// The daemon under test, run as a child of the bench, and the helper's commands run against it.

#include <sys/types.h>

#include <string>
#include <vector>

#include "bench/process_runner.hpp"

namespace nubrik::bench {

// Where the daemon's standard output and error go (on the sandbox's private /run).
inline constexpr const char* daemonOutputFile = "/run/nubrik-bench-daemon.out";

// The daemon as a child of the bench. It dies with the bench, whatever happens to the bench, so
// no daemon is ever left behind in an abandoned namespace.
class DaemonProcess {
 public:
  // Starts `helper --daemon`; throws std::runtime_error when it cannot be started.
  explicit DaemonProcess(const std::string& helper);
  ~DaemonProcess();
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  bool running();
  pid_t pid() const { return pid_; }

  // Holds the daemon still (SIGSTOP) and lets it go on (SIGCONT). A held daemon does nothing;
  // the kernel queues what it would have read.
  void hold();
  void release();

  // SIGTERM, then SIGKILL after 5 s. The exit status, or 128 + the signal that ended it.
  int stop();

 private:
  // Whether the daemon has exited (and was reaped).
  bool reap(int flags);

  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = -1;
};

// Runs one command of the helper, again while a tick of the daemon holds the state lock.
CommandResult helperCommand(const std::string& helper, const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment = {});

// "exit <status>: <output>", for problem reports.
std::string describe(const CommandResult& result);

// The whole file, or nothing when it cannot be read.
std::string readFile(const std::string& path);

}  // namespace nubrik::bench
