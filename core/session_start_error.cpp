#include "core/session_start_error.hpp"

#include "core/json_fields.hpp"

namespace nubrik {

namespace {

std::string defaultDescription(SessionStartError::Kind kind,
                               const std::optional<OfflineSession>& session) {
  using Kind = SessionStartError::Kind;
  switch (kind) {
    case Kind::activationPending:
      return session ? "activationPending(session: " + json::quotedText(session->id) + ")"
                     : "activationPending";
    case Kind::invalidDuration:
      return "invalidDuration";
    case Kind::activeSessionInProgress:
      return "activeSessionInProgress";
    case Kind::expiredSessionPendingRestoration:
      return "expiredSessionPendingRestoration";
    case Kind::recoveryPending:
      return "recoveryPending";
    case Kind::captureFailed:
      return "captureFailed";
  }
  return "unknown";
}

}  // namespace

SessionStartError::SessionStartError(Kind kind)
    : kind_(kind), description_(defaultDescription(kind, std::nullopt)) {}

SessionStartError SessionStartError::activationPending(OfflineSession session) {
  SessionStartError error(Kind::activationPending);
  error.session_ = std::move(session);
  error.description_ = defaultDescription(error.kind_, error.session_);
  return error;
}

std::string_view SessionStartError::commandLineText() const {
  switch (kind_) {
    case Kind::activationPending:
      return "session saved but the network lock is still being applied; it will take effect "
             "shortly\n";
    case Kind::invalidDuration:
      return "error: duration must be 5 minutes to 24 hours\n";
    case Kind::activeSessionInProgress:
      return "error: a session is already active\n";
    case Kind::expiredSessionPendingRestoration:
      return "error: the previous session has expired but networking has not been restored yet; "
             "wait a moment and try again\n";
    case Kind::recoveryPending:
      return "error: saved session state is corrupt and fail-open recovery is pending; wait a "
             "moment and try again\n";
    case Kind::captureFailed:
      return "error: could not capture current network state; nothing was changed\n";
  }
  return "";
}

int SessionStartError::exitStatus() const {
  switch (kind_) {
    case Kind::activationPending:
      return 9;
    case Kind::invalidDuration:
      return 2;
    case Kind::activeSessionInProgress:
      return 4;
    case Kind::expiredSessionPendingRestoration:
    case Kind::recoveryPending:
      return 7;
    case Kind::captureFailed:
      return 10;
  }
  return 1;
}

}  // namespace nubrik
