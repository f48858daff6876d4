#include "helper/coordinators/early_unlock_coordinator.hpp"

#include <chrono>
#include <optional>
#include <utility>
#include <variant>

#include "helper/context/helper.hpp"
#include "helper/coordinators/switch_pass.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

namespace {

using Code = EarlyUnlockResultCode;

// The stored session when the load found a valid, active one.
std::optional<OfflineSession> activeSession(const EarlyUnlockDependencies& d) {
  SessionLoadResult loaded = d.loadState();
  auto* session = std::get_if<OfflineSession>(&loaded);
  if (session == nullptr || !session->active) return std::nullopt;
  return std::move(*session);
}

// The moment the session is judged at (see sessionNow).
Date judgedAt(const EarlyUnlockDependencies& d, const OfflineSession& session) {
  return sessionNow(session, d.now(), d.bootClock ? d.bootClock() : std::nullopt);
}

// Saves the changed session and only then tells readers about it: a save that fails leaves the
// stored session as it was, and the published status must keep describing that one.
EarlyUnlockResult commit(const EarlyUnlockDependencies& d, const OfflineSession& changed) {
  try {
    d.save(changed);
  } catch (...) {
    return {Code::failed, std::nullopt};
  }
  runGuarded([&] { d.publishStatus(changed); });
  return {Code::accepted, changed.expirationDate};
}

}  // namespace

EarlyUnlockDependencies EarlyUnlockDependencies::production(Helper& helper) {
  return EarlyUnlockDependencies{
      .loadState = [&helper] { return helper.sessions().loadSession(); },
      .save = [&helper](const OfflineSession& session) { helper.sessions().save(session); },
      .publishStatus =
          [&helper](const OfflineSession& session) {
            helper.sessions().writeStatus(std::optional<OfflineSession>(session));
          },
      .now = helper.clock(),
      .bootClock = [] { return readBootClock(); },
      .cooldown = nubrikEarlyUnlockCooldownSeconds,
  };
}

EarlyUnlockCoordinator::EarlyUnlockCoordinator(EarlyUnlockDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

EarlyUnlockCoordinator EarlyUnlockCoordinator::production(Helper& helper) {
  return EarlyUnlockCoordinator(EarlyUnlockDependencies::production(helper));
}

EarlyUnlockResult EarlyUnlockCoordinator::request() const {
  const EarlyUnlockDependencies& d = dependencies_;
  try {
    std::optional<OfflineSession> session = activeSession(d);
    const Date now = session ? judgedAt(d, *session) : d.now();
    // An expired session is the tick's to restore, and a clock set back since the start makes
    // "15 minutes from now" meaningless.
    if (!session || !(session->expirationDate > now) || session->clockLooksWoundBack(now)) {
      return {Code::noActiveSession, std::nullopt};
    }
    // A second request does not restart the cooldown.
    if (session->earlyUnlockPending()) return {Code::alreadyPending, session->expirationDate};
    if (!(secondsBetween(now, session->expirationDate) > d.cooldown)) {
      return {Code::endsSoon, session->expirationDate};
    }

    session->originalExpirationDate = session->expirationDate;
    session->earlyUnlockRequestedAt = now;
    session->expirationDate = addSeconds(now, d.cooldown);
    return commit(d, *session);
  } catch (...) {
    return {Code::failed, std::nullopt};
  }
}

EarlyUnlockResult EarlyUnlockCoordinator::cancel() const {
  const EarlyUnlockDependencies& d = dependencies_;
  try {
    std::optional<OfflineSession> session = activeSession(d);
    if (!session) return {Code::noActiveSession, std::nullopt};
    const Date now = judgedAt(d, *session);
    if (!session->earlyUnlockPending()) {
      if (session->expirationDate > now && !session->clockLooksWoundBack(now)) {
        return {Code::notPending, session->expirationDate};
      }
      return {Code::noActiveSession, std::nullopt};
    }
    // The cooldown is over and the restore is due; no clock check here, so that a clock set
    // back cannot keep a finished cooldown cancellable.
    if (now >= session->expirationDate) return {Code::tooLate, session->expirationDate};

    session->expirationDate = *session->originalExpirationDate;
    session->originalExpirationDate.reset();
    session->earlyUnlockRequestedAt.reset();
    return commit(d, *session);
  } catch (...) {
    return {Code::failed, std::nullopt};
  }
}

}  // namespace nubrik
