#include "helper/daemon/daemon.hpp"

#include <signal.h>
#include <stdlib.h>
#include <systemd/sd-daemon.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>

#include "core/file_read.hpp"
#include "core/sd_handles.hpp"
#include "core/session.hpp"
#include "core/session_clock.hpp"
#include "helper/context/helper.hpp"
#include "helper/daemon/change_source.hpp"
#include "helper/daemon/daemon_tick_coordinator.hpp"
#include "helper/daemon/network_event_handler.hpp"
#include "helper/daemon/tick_scheduler.hpp"
#include "helper/daemon/upgrade_restart.hpp"
#include "helper/log/log.hpp"
#include "helper/transaction/helper_transaction.hpp"
#include "helper/transaction/stale_temporary_files.hpp"

namespace nubrik {

namespace {

constexpr uint64_t tickIntervalMicroseconds = 5'000'000;

// Ties the loop to the helper while it runs, so that bus requests can ask it for a tick.
class AttachedLoop {
 public:
  AttachedLoop(Helper& helper, sd_event* event, TickScheduler& scheduler) : helper_(helper) {
    helper_.attachLoop(event, [&scheduler] { scheduler.requestTick(); });
  }
  ~AttachedLoop() { helper_.detachLoop(); }
  AttachedLoop(const AttachedLoop&) = delete;
  AttachedLoop& operator=(const AttachedLoop&) = delete;

 private:
  Helper& helper_;
};

int onPeriodicTick(sd_event_source* source, uint64_t, void* userdata) {
  // Relative to this firing, so a slow tick never makes the timer catch up in a burst.
  (void)sd_event_source_set_time_relative(source, tickIntervalMicroseconds);
  static_cast<TickScheduler*>(userdata)->tickNow();
  return 0;
}

int onTerminationSignal(sd_event_source* source, const signalfd_siginfo*, void*) {
  return sd_event_exit(sd_event_source_get_event(source), 0);
}

int runLoop(Helper& helper, const ListenerStart& startListener) {
  EventHandle event;
  if (sd_event_default(out(event)) < 0) return EXIT_FAILURE;

  // Blocked so that they queue for the loop's signal sources instead of killing the process.
  sigset_t termination;
  sigemptyset(&termination);
  sigaddset(&termination, SIGTERM);
  sigaddset(&termination, SIGINT);
  if (sigprocmask(SIG_BLOCK, &termination, nullptr) != 0) return EXIT_FAILURE;
  EventSourceHandle terminate;
  if (sd_event_add_signal(event.get(), out(terminate), SIGTERM, onTerminationSignal, nullptr) < 0)
    return EXIT_FAILURE;
  EventSourceHandle interrupt;
  if (sd_event_add_signal(event.get(), out(interrupt), SIGINT, onTerminationSignal, nullptr) < 0)
    return EXIT_FAILURE;

  // After each tick, whether a package upgrade installed a new executable to restart into.
  std::optional<UpgradeRestartCoordinator> upgrade = productionUpgradeRestart(helper);
  TickScheduler scheduler(event.get(), TickScheduler::Operations{
                                           [&helper, &upgrade] {
                                             tick(helper);
                                             if (upgrade) (void)upgrade->check();
                                           },
                                           [&helper] {
                                             return peekSessionExpiration(
                                                 helper.paths().sessionFile, helper.now(),
                                                 readBootClock());
                                           },
                                           helper.clock(),
                                       });
  const AttachedLoop attached(helper, event.get(), scheduler);

  // Without change notifications the daemon still converges on the periodic tick alone.
  const NetworkEventHandler changes(
      NetworkEventDependencies::production(helper, [&scheduler] { scheduler.requestTick(); }));
  const auto onChange = [&changes](const ChangeBatch& batch) { changes.handle(batch); };
  const std::unique_ptr<ChangeSource> network = openNetlinkChangeSource(event.get(), onChange);
  const std::unique_ptr<ChangeSource> rfkill = openRfkillChangeSource(event.get(), onChange);

  EventSourceHandle periodic;
  if (sd_event_add_time_relative(event.get(), out(periodic), CLOCK_MONOTONIC,
                                 tickIntervalMicroseconds, 0, onPeriodicTick, &scheduler) < 0)
    return EXIT_FAILURE;
  (void)sd_event_source_set_enabled(periodic.get(), SD_EVENT_ON);

  scheduler.tickNow();

  if (startListener) startListener(event.get());
  (void)sd_notify(0, "READY=1");

  const int result = sd_event_loop(event.get());
  return result < 0 ? EXIT_FAILURE : result;
}

}  // namespace

std::optional<Date> peekSessionExpiration(const std::string& sessionPath, Date wallNow,
                                          const std::optional<BootInstant>& boot) {
  try {
    OfflineSession session = decodeSession(readWholeFile(sessionPath, 4 * 1024 * 1024));
    if (!session.active) return std::nullopt;
    boundSessionLength(session);
    // On the wall clock's scale, when the session's own clock will reach its end: the wake-up is a
    // wall-clock timer, and the tick it brings judges the session on the session's clock again.
    const Date now = sessionNow(session, wallNow, boot);
    if (now == wallNow) return session.expirationDate;
    return addSeconds(wallNow, secondsBetween(now, session.expirationDate));
  } catch (...) {
    return std::nullopt;
  }
}

int runDaemon(Helper& helper, const ListenerStart& startListener) {
  helper.log("daemon launched (uid=" + std::to_string(::geteuid()) + ")");
  sendDiagnosticsToStandardError();
  // A helper killed in the middle of replacing a file leaves its temporary file behind; under the
  // state lock no replacement is under way, so whatever matches now is stale.
  try {
    helper.transactions().run(StatusEffect::neutral, [](Transaction& transaction) {
      const StatePaths& p = transaction.paths();
      for (const std::string& path :
           removeStaleTemporaryFiles({p.statusFile, p.generationFile, p.sessionFile,
                                      p.recoveryPendingFile, p.schedulesFile})) {
        diagnose("removed stale temporary file " + path);
      }
    });
  } catch (...) {
    // Another process holds the lock or it cannot be taken; the files wait for the next start.
  }
  try {
    return runLoop(helper, startListener);
  } catch (...) {
    return EXIT_FAILURE;
  }
}

}  // namespace nubrik
