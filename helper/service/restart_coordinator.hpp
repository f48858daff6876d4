#pragma once

#include <systemd/sd-event.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "core/sd_handles.hpp"
#include "core/session.hpp"
#include "core/xpc_result_codes.hpp"
#include "helper/log/log.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

class Helper;

struct RestartDependencies {
  std::function<SessionLoadResult()> loadState;
  // Arranges the process's exit shortly after the reply has gone out.
  std::function<void()> scheduleExit;
  // The lifecycle flag: whether a restart was accepted, and marking it so.
  std::function<bool()> isRestarting;
  std::function<void()> markRestarting;

  // The session store's load, the daemon loop's delayed exit and the helper's lifecycle.
  static RestartDependencies production(Helper& helper);
};

// Decides whether the helper may exit now so that systemd starts the newly installed one: only
// while nothing is stored, since a session or a pending recovery must survive in this process.
class RestartCoordinator {
 public:
  explicit RestartCoordinator(RestartDependencies dependencies);
  static RestartCoordinator production(Helper& helper);

  // Runs inside a helper transaction. An accepted restart marks the lifecycle as restarting and
  // schedules the exit once; a further request answers accepted without scheduling another.
  HelperRestartResultCode prepareRestart() const;

 private:
  RestartDependencies dependencies_;
};

// A one-shot delayed exit on an sd-event loop: arming it again does nothing, and it fires once.
class ExitScheduler {
 public:
  static constexpr uint64_t defaultDelayMicroseconds = 1'000'000;

  // exitProcess runs on the loop when the delay has passed.
  ExitScheduler(sd_event* event, std::function<void()> exitProcess,
                uint64_t delayMicroseconds = defaultDelayMicroseconds);
  ExitScheduler(const ExitScheduler&) = delete;
  ExitScheduler& operator=(const ExitScheduler&) = delete;

  // Arms the timer unless it is armed or has fired; throws std::system_error when the loop
  // refuses the timer.
  void schedule();
  bool isScheduled() const { return source_ != nullptr || fired_; }

 private:
  static int onTimer(sd_event_source* source, uint64_t usec, void* userdata);

  EventHandle event_;
  std::function<void()> exitProcess_;
  uint64_t delayMicroseconds_;
  EventSourceHandle source_;
  bool fired_ = false;
};

// The production exit after an accepted restart: one second later on the calling thread's default
// loop (the daemon's), log the restart line and end the loop, so the process exits with status 0.
void scheduleHelperExit(const LogOperation& log);

}  // namespace nubrik
