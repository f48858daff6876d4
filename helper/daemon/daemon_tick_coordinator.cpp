#include "helper/daemon/daemon_tick_coordinator.hpp"

#include <chrono>
#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

#include "helper/coordinators/fail_open_recovery_coordinator.hpp"
#include "helper/coordinators/restoration_coordinator.hpp"
#include "helper/coordinators/scheduled_start_coordinator.hpp"
#include "helper/daemon/notify.hpp"
#include "helper/log/log.hpp"
#include "helper/store/session_store.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

DaemonTickDependencies DaemonTickDependencies::production() {
  DaemonTickDependencies dependencies;
  dependencies.loadState = [] { return SessionStore::loadSession(); };
  dependencies.now = [] { return std::chrono::system_clock::now(); };
  dependencies.runRestoration = [](const OfflineSession& session) {
    return restorationCoordinator([] { notify("Tamsel", "Network access restored."); })
        .restore(session);
  };
  dependencies.runEnforcement = [] { return runEnforcementPass(); };
  dependencies.runRecovery = [] { return failOpenRecoveryCoordinator().recover(); };
  dependencies.publishIdle = [] { SessionStore::writeStatusIdle(); };
  dependencies.log = [](const std::string& message) { nubrik::log(message); };
  dependencies.runScheduledStart = [] { runScheduledStartIfDue(); };
  return dependencies;
}

DaemonTickCoordinator::DaemonTickCoordinator(DaemonTickDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

void DaemonTickCoordinator::tick() const {
  const DaemonTickDependencies& d = dependencies_;
  const SessionLoadResult state = d.loadState();
  std::visit(
      [&](const auto& loaded) {
        using Loaded = std::decay_t<decltype(loaded)>;
        if constexpr (std::is_same_v<Loaded, SessionAbsent>) {
          d.publishIdle();
          // Schedules are only considered when no session is stored.
          d.runScheduledStart();
        } else if constexpr (std::is_same_v<Loaded, RecoveryPendingMarker>) {
          d.log("daemon: recovery still pending; retrying fail-open recovery");
          d.runRecovery();
        } else if constexpr (std::is_same_v<Loaded, CorruptSessionInfo>) {
          d.log("daemon: corrupt authoritative state (" + std::string(rawString(loaded.reason)) +
                "); attempting fail-open recovery");
          d.runRecovery();
        } else {
          const Date now = d.now();
          // A clock set back after the start must not end the session early: keep enforcing
          // until the clock is plausible again.
          if (loaded.isExpired(now) && !loaded.clockLooksWoundBack(now)) {
            d.log("daemon: session expired; restoring transactionally");
            d.runRestoration(loaded);
          } else {
            d.runEnforcement();
          }
        }
      },
      state);
}

void DaemonTickCoordinator::transactionalTick() const {
  HelperTransaction::run([this] { tick(); }, false);
}

void runTick(const DaemonTickCoordinator& coordinator) noexcept {
  std::string description;
  try {
    coordinator.transactionalTick();
    return;
  } catch (const std::exception& error) {
    description = error.what();
  } catch (...) {
    description = "unknown error";
  }
  try {
    coordinator.dependencies().log("daemon: tick skipped \u2014 helper state lock unavailable (" +
                                   description + ")");
  } catch (...) {
    // Logging never fails visibly; the next timer firing or change notification tries again.
  }
}

void tick() noexcept {
  try {
    runTick(DaemonTickCoordinator(DaemonTickDependencies::production()));
  } catch (...) {
    // Only building the operations can get here (memory exhaustion); the next firing retries.
  }
}

}  // namespace nubrik
