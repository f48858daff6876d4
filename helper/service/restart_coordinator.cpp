#include "helper/service/restart_coordinator.hpp"

#include <time.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <variant>

#include "helper/context/helper.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

RestartDependencies RestartDependencies::production(Helper& helper) {
  return {[&helper] { return helper.sessions().loadSession(); },
          [&helper] { scheduleHelperExit(helper.logOperation()); },
          [&helper] { return helper.isRestarting(); }, [&helper] { helper.markRestarting(); }};
}

RestartCoordinator::RestartCoordinator(RestartDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

RestartCoordinator RestartCoordinator::production(Helper& helper) {
  return RestartCoordinator(RestartDependencies::production(helper));
}

HelperRestartResultCode RestartCoordinator::prepareRestart() const {
  // The exit is already on its way; a repeated request from the app only needs the same answer.
  if (dependencies_.isRestarting()) return HelperRestartResultCode::accepted;
  const SessionLoadResult state = dependencies_.loadState();
  if (std::holds_alternative<OfflineSession>(state)) return HelperRestartResultCode::sessionActive;
  if (!std::holds_alternative<SessionAbsent>(state)) return HelperRestartResultCode::notIdle;
  // The exit is armed first: a helper that refused every start but never exited would leave the
  // app waiting for an upgrade that cannot happen.
  dependencies_.scheduleExit();
  dependencies_.markRestarting();
  return HelperRestartResultCode::accepted;
}

ExitScheduler::ExitScheduler(sd_event* event, std::function<void()> exitProcess,
                             uint64_t delayMicroseconds)
    : event_(sd_event_ref(event)),
      exitProcess_(std::move(exitProcess)),
      delayMicroseconds_(delayMicroseconds) {}

void ExitScheduler::schedule() {
  if (isScheduled()) return;
  const int result =
      sd_event_add_time_relative(event_.get(), out(source_), CLOCK_MONOTONIC, delayMicroseconds_, 0,
                                 &ExitScheduler::onTimer, this);
  if (result < 0) throw std::system_error(-result, std::generic_category(), "sd_event_add_time");
  (void)sd_event_source_set_description(source_.get(), "restart-exit");
}

int ExitScheduler::onTimer(sd_event_source*, uint64_t, void* userdata) {
  auto* self = static_cast<ExitScheduler*>(userdata);
  self->fired_ = true;
  self->source_.reset();
  self->exitProcess_();
  return 0;
}

void scheduleHelperExit(const LogOperation& log) {
  // One per process: the restart is accepted once, and the loop it lives on is the daemon's.
  static std::mutex mutex;
  static std::unique_ptr<ExitScheduler> scheduler;
  const std::lock_guard<std::mutex> guard(mutex);
  if (!scheduler) {
    EventHandle loop;
    const int result = sd_event_default(out(loop));
    if (result < 0) throw std::system_error(-result, std::generic_category(), "sd_event_default");
    scheduler = std::make_unique<ExitScheduler>(loop.get(), [event = loop.get(), log] {
      log("restart: exiting so systemd can start the updated helper");
      // Ending the loop lets the daemon return 0 from main; without a running loop, exit here.
      if (sd_event_exit(event, 0) < 0) std::exit(0);
    });
  }
  scheduler->schedule();
}

}  // namespace nubrik
