#include "helper/coordinators/session_start_coordinator.hpp"

#include <chrono>
#include <utility>
#include <variant>

#include "core/session_start_error.hpp"
#include "core/uuid.hpp"
#include "helper/context/helper.hpp"
#include "helper/coordinators/switch_pass.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

SessionStartDependencies SessionStartDependencies::production(Helper& helper) {
  return SessionStartDependencies{
      .loadSession =
          [&helper] {
            return SessionStartCoordinator::existingSession(helper.sessions().loadSession());
          },
      .captureSnapshot =
          [&helper] {
            return CaptureCoordinator(helper.network(), helper.logOperation()).capture();
          },
      .saveSession = [&helper](const OfflineSession& session) { helper.sessions().save(session); },
      .activateOffline =
          [&helper] {
            return ActivationCoordinator(helper.network(), helper.logOperation()).activate();
          },
      .publishActivationPending = [&helper] { helper.sessions().writeStatusPending(); },
      .currentDate = helper.clock(),
      .bootClock = [] { return readBootClock(); },
  };
}

SessionStartCoordinator::SessionStartCoordinator(SessionStartDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

std::optional<OfflineSession> SessionStartCoordinator::existingSession(
    const SessionLoadResult& result) {
  if (const auto* session = std::get_if<OfflineSession>(&result)) return *session;
  if (std::holds_alternative<SessionAbsent>(result)) return std::nullopt;
  // Corrupt state or a pending fail-open recovery: the network is owed a restore first.
  throw SessionStartError(SessionStartError::Kind::recoveryPending);
}

OfflineSession SessionStartCoordinator::start(double duration) const {
  const SessionStartDependencies& d = dependencies_;

  // Written as a positive range check so that NaN is refused too.
  if (!(duration >= minimumDuration && duration <= maximumDuration)) {
    throw SessionStartError(SessionStartError::Kind::invalidDuration);
  }

  // An expired session is never replaced here: only restoration may remove it, because it holds
  // the record of what to restore.
  if (const std::optional<OfflineSession> existing = d.loadSession()) {
    const std::optional<BootInstant> boot = d.bootClock ? d.bootClock() : std::nullopt;
    throw SessionStartError(existing->isExpired(sessionNow(*existing, d.currentDate(), boot))
                                ? SessionStartError::Kind::expiredSessionPendingRestoration
                                : SessionStartError::Kind::activeSessionInProgress);
  }

  CapturedSnapshot snapshot;
  try {
    snapshot = d.captureSnapshot();
  } catch (...) {
    throw SessionStartError(SessionStartError::Kind::captureFailed);
  }

  const Date now = d.currentDate();
  const std::optional<BootInstant> boot = d.bootClock ? d.bootClock() : std::nullopt;
  OfflineSession session;
  session.id = newUUIDString();
  session.startDate = now;
  session.expirationDate = addSeconds(now, duration);
  session.services = std::move(snapshot.services);
  session.wifiPower = std::move(snapshot.wifiPower);
  session.interfaces = std::move(snapshot.interfaces);
  session.active = true;
  if (boot) {
    session.bootID = boot->bootID;
    session.bootTimeAtStart = boot->seconds;
  }

  // The record of what to restore is on disk before anything is switched off; a failed save
  // leaves the network untouched and its error goes to the caller unchanged.
  d.saveSession(session);

  // The session is saved from here on, so whatever goes wrong is left to enforcement to finish.
  ActivationOutcome outcome = ActivationOutcome::activationPending;
  try {
    outcome = d.activateOffline();
  } catch (...) {
  }
  if (outcome == ActivationOutcome::activationPending) {
    runGuarded(d.publishActivationPending);
    throw SessionStartError::activationPending(session);
  }
  return session;
}

}  // namespace nubrik
