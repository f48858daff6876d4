#include "helper/daemon/daemon_tick_coordinator.hpp"

#include <chrono>
#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

#include "helper/context/helper.hpp"
#include "helper/coordinators/fail_open_recovery_coordinator.hpp"
#include "helper/coordinators/restoration_coordinator.hpp"
#include "helper/coordinators/scheduled_start_coordinator.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/store/session_store.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

DaemonTickDependencies DaemonTickDependencies::production(Helper& helper) {
  DaemonTickDependencies dependencies;
  dependencies.loadState = [&helper] { return helper.sessions().loadSession(); };
  dependencies.now = helper.clock();
  dependencies.runRestoration = [&helper](const OfflineSession& session) {
    return restorationCoordinator(
               helper, RecoveryReporting::production(helper),
               [&helper] { helper.notify("Tamsel", "Network access restored."); })
        .restore(session);
  };
  dependencies.runEnforcement = [&helper] { return runEnforcementPass(helper); };
  dependencies.runRecovery = [&helper] {
    return failOpenRecoveryCoordinator(helper, RecoveryReporting::production(helper)).recover();
  };
  dependencies.publishIdle = [&helper] {
    helper.noteTickFinding({TickFinding::State::idle, std::nullopt, {}});
    helper.sessions().writeStatusIdle();
  };
  dependencies.log = helper.logOperation();
  dependencies.runScheduledStart = [&helper] {
    runScheduledStartIfDue(helper);
    // A session started now is enforced from the next tick on.
    if (stampOf(helper.paths().sessionFile)) helper.noteTickFinding({});
  };
  dependencies.bootClock = [] { return readBootClock(); };
  dependencies.saveSession = [&helper](const OfflineSession& session) {
    helper.sessions().save(session);
  };
  return dependencies;
}

DaemonTickCoordinator::DaemonTickCoordinator(DaemonTickDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

namespace {

// The session as this boot measures it. One not yet anchored in this boot (started before a
// restart, or by an older helper) is anchored now and kept so; should keeping it fail, it is
// still judged anchored for this tick, and the next tick anchors it again.
OfflineSession measuredInThisBoot(const DaemonTickDependencies& d, const OfflineSession& session,
                                  Date wall, const std::optional<BootInstant>& boot) {
  if (!boot || anchoredIn(session, *boot) || session.isExpired(wall)) return session;
  OfflineSession anchored = anchoredToBoot(session, wall, *boot);
  if (d.saveSession) {
    try {
      d.saveSession(anchored);
    } catch (const std::exception& error) {
      diagnose(std::string("session could not be anchored in this boot (") + error.what() + ")");
    }
  }
  return anchored;
}

}  // namespace

void DaemonTickCoordinator::tick() const {
  const DaemonTickDependencies& d = dependencies_;
  SessionLoadResult state;
  try {
    state = d.loadState();
  } catch (const SessionUnreadableNow& error) {
    // Neither trusted nor condemned: the record is read again on the next tick.
    diagnose(std::string("session record cannot be read now (") + error.what() + "); will retry");
    return;
  }
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
          const Date wall = d.now();
          const std::optional<BootInstant> boot =
              d.bootClock ? d.bootClock() : std::optional<BootInstant>();
          const OfflineSession session = measuredInThisBoot(d, loaded, wall, boot);
          const Date now = sessionNow(session, wall, boot);
          // A clock set back after the start must not end the session early: keep enforcing
          // until the clock is plausible again.
          if (session.isExpired(now) && !session.clockLooksWoundBack(now)) {
            d.log("daemon: session expired; restoring transactionally");
            d.runRestoration(session);
          } else {
            d.runEnforcement();
          }
        }
      },
      state);
}

void DaemonTickCoordinator::transactionalTick(TransactionRunner& transactions) const {
  // The network decisions go on even when the state or status files cannot be written.
  transactions.run(
      StatusEffect::publishes, [this](Transaction&) { tick(); }, WhenUnwritable::proceed);
}

void runTick(const DaemonTickCoordinator& coordinator, TransactionRunner& transactions) noexcept {
  std::string description;
  try {
    coordinator.transactionalTick(transactions);
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

void tick(Helper& helper) noexcept {
  try {
    // Whatever this tick does not find out stays unknown.
    helper.noteTickFinding({});
    runTick(DaemonTickCoordinator(DaemonTickDependencies::production(helper)),
            helper.transactions());
    helper.closeEndedLogBursts();
  } catch (...) {
    // Only building the operations can get here (memory exhaustion); the next firing retries.
  }
}

}  // namespace nubrik
