#include "core/xpc_result_codes.hpp"

#include <cmath>
#include <sstream>
#include <utility>

#include "core/session_start_error.hpp"

namespace nubrik {

namespace {

template <typename Code>
std::optional<Code> fromRaw(std::int64_t raw, Code last) {
  if (raw < 0 || raw > rawValue(last)) return std::nullopt;
  return static_cast<Code>(raw);
}

std::string messageOr(std::string_view message, std::string_view fallback) {
  return std::string(message.empty() ? fallback : message);
}

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string dateText(const std::optional<Date>& date) {
  if (!date) return "nil";
  std::ostringstream out;
  out.precision(17);
  out << secondsSince1970(*date);
  return out.str();
}

}  // namespace

std::optional<XPCStartResultCode> xpcStartResultCodeFromRaw(std::int64_t raw) {
  return fromRaw(raw, XPCStartResultCode::helperRestarting);
}
std::optional<EarlyUnlockResultCode> earlyUnlockResultCodeFromRaw(std::int64_t raw) {
  return fromRaw(raw, EarlyUnlockResultCode::failed);
}
std::optional<ScheduleResultCode> scheduleResultCodeFromRaw(std::int64_t raw) {
  return fromRaw(raw, ScheduleResultCode::failed);
}
std::optional<HelperRestartResultCode> helperRestartResultCodeFromRaw(std::int64_t raw) {
  return fromRaw(raw, HelperRestartResultCode::busy);
}
std::optional<HealthReadyCode> healthReadyCodeFromRaw(std::int64_t raw) {
  return fromRaw(raw, HealthReadyCode::unavailable);
}

std::string_view xpcDefaultMessage(XPCStartResultCode code) {
  switch (code) {
    case XPCStartResultCode::started:
      return "";
    case XPCStartResultCode::activationPending:
      return "Session saved; the network lock is still being applied.";
    case XPCStartResultCode::invalidDuration:
      return "The requested duration is not allowed.";
    case XPCStartResultCode::activeSession:
      return "A session is already active.";
    case XPCStartResultCode::expiredAwaitingRestoration:
      return "The previous session has expired but networking has not been restored yet.";
    case XPCStartResultCode::corruptRecoveryPending:
      return "Saved session state is corrupt and recovery is pending.";
    case XPCStartResultCode::captureFailed:
      return "The helper could not capture the current network state.";
    case XPCStartResultCode::unauthorized:
      return "The helper rejected this app as unauthorized.";
    case XPCStartResultCode::requestFailed:
      return "The helper could not process the start request.";
    case XPCStartResultCode::helperUnavailable:
      return "The helper is unavailable. Make sure it is installed and running.";
    case XPCStartResultCode::helperRestarting:
      return "The helper is restarting for an update; try again in a moment.";
  }
  return "";
}

std::string_view earlyUnlockDefaultMessage(EarlyUnlockResultCode code) {
  switch (code) {
    case EarlyUnlockResultCode::accepted:
      return "Early unlock requested. The network will be restored in 15 minutes unless you "
             "cancel.";
    case EarlyUnlockResultCode::alreadyPending:
      return "An early unlock is already counting down.";
    case EarlyUnlockResultCode::noActiveSession:
      return "There is no active session.";
    case EarlyUnlockResultCode::endsSoon:
      return "The session ends in under 15 minutes anyway.";
    case EarlyUnlockResultCode::notPending:
      return "No early unlock is pending.";
    case EarlyUnlockResultCode::tooLate:
      return "The cooldown has finished; the network is about to be restored.";
    case EarlyUnlockResultCode::busy:
      return xpcBusyMessage;
    case EarlyUnlockResultCode::failed:
      return "The helper could not process the early unlock request.";
  }
  return "";
}

std::string_view scheduleDefaultMessage(ScheduleResultCode code) {
  switch (code) {
    case ScheduleResultCode::accepted:
      return "Schedules saved.";
    case ScheduleResultCode::invalid:
      return "The schedules were not valid.";
    case ScheduleResultCode::tooMany:
      return "Too many schedules (maximum 20).";
    case ScheduleResultCode::duplicate:
      return "Two schedules share the same identifier.";
    case ScheduleResultCode::busy:
      return xpcBusyMessage;
    case ScheduleResultCode::failed:
      return "The helper could not save the schedules.";
  }
  return "";
}

std::string_view helperRestartDefaultMessage(HelperRestartResultCode code) {
  switch (code) {
    case HelperRestartResultCode::accepted:
      return "The helper accepted the restart request and is exiting.";
    case HelperRestartResultCode::sessionActive:
      return "A session is active, so the helper cannot restart yet.";
    case HelperRestartResultCode::notIdle:
      return "The helper is not idle, so it cannot restart yet.";
    case HelperRestartResultCode::busy:
      return xpcBusyMessage;
  }
  return "";
}

XPCStartResultCode xpcResultCode(std::optional<SessionStartError::Kind> error) {
  if (!error) return XPCStartResultCode::started;
  switch (*error) {
    case SessionStartError::Kind::activationPending:
      return XPCStartResultCode::activationPending;
    case SessionStartError::Kind::invalidDuration:
      return XPCStartResultCode::invalidDuration;
    case SessionStartError::Kind::activeSessionInProgress:
      return XPCStartResultCode::activeSession;
    case SessionStartError::Kind::expiredSessionPendingRestoration:
      return XPCStartResultCode::expiredAwaitingRestoration;
    case SessionStartError::Kind::recoveryPending:
      return XPCStartResultCode::corruptRecoveryPending;
    case SessionStartError::Kind::captureFailed:
      return XPCStartResultCode::captureFailed;
  }
  return XPCStartResultCode::requestFailed;
}

XPCStartResultCode xpcResultCode(const SessionStartError& error) {
  return xpcResultCode(error.kind());
}

std::optional<Date> wireDate(double timestamp) {
  // NaN compares false, so it is no date as well.
  if (!(timestamp > 0)) return std::nullopt;
  return dateFromUnixSeconds(timestamp);
}

double wireTimestamp(const std::optional<Date>& date) {
  return date ? secondsSince1970(*date) : 0;
}

bool HealthReply::isReady() const {
  return readyCode == rawValue(HealthReadyCode::ready);
}

XPCStartOutcome XPCStartOutcome::started(std::optional<Date> expiration) {
  return {Kind::started, expiration, {}};
}
XPCStartOutcome XPCStartOutcome::activationPending(std::optional<Date> expiration) {
  return {Kind::activationPending, expiration, {}};
}
XPCStartOutcome XPCStartOutcome::failed(std::string message) {
  return {Kind::failed, std::nullopt, std::move(message)};
}
XPCStartOutcome XPCStartOutcome::helperUnavailable() {
  return {Kind::helperUnavailable, {}, {}};
}

EarlyUnlockOutcome EarlyUnlockOutcome::done(std::optional<Date> expiration, std::string message) {
  return {Kind::done, expiration, std::move(message)};
}
EarlyUnlockOutcome EarlyUnlockOutcome::refused(std::string message) {
  return {Kind::refused, std::nullopt, std::move(message)};
}
EarlyUnlockOutcome EarlyUnlockOutcome::helperUnavailable() {
  return {Kind::helperUnavailable, {}, {}};
}

HelperRestartOutcome HelperRestartOutcome::refused(std::string message) {
  return {Kind::refused, std::move(message)};
}
HelperRestartOutcome HelperRestartOutcome::failed(std::string message) {
  return {Kind::failed, std::move(message)};
}
HelperRestartOutcome HelperRestartOutcome::accepted() {
  return {Kind::accepted, {}};
}
HelperRestartOutcome HelperRestartOutcome::helperUnavailable() {
  return {Kind::helperUnavailable, {}};
}

HealthProbeResult HealthProbeResult::ready(std::string version) {
  return {Kind::ready, std::move(version), 0, 0};
}
HealthProbeResult HealthProbeResult::versionMismatch(std::int64_t helperVersion,
                                                     std::int64_t expected) {
  return {Kind::versionMismatch, {}, helperVersion, expected};
}
HealthProbeResult HealthProbeResult::failed() {
  return {Kind::failed, {}, 0, 0};
}

XPCStartOutcome xpcStartOutcome(std::int64_t code, double expirationTimestamp,
                                std::string_view message) {
  const std::optional<Date> expiration = wireDate(expirationTimestamp);
  const auto known = xpcStartResultCodeFromRaw(code);
  if (!known) return XPCStartOutcome::failed(messageOr(message, unrecognizedResponseMessage));
  switch (*known) {
    case XPCStartResultCode::started:
      return XPCStartOutcome::started(expiration);
    case XPCStartResultCode::activationPending:
      return XPCStartOutcome::activationPending(expiration);
    case XPCStartResultCode::helperRestarting:
      return XPCStartOutcome::failed(
          messageOr(message, xpcDefaultMessage(XPCStartResultCode::helperRestarting)));
    default:
      return XPCStartOutcome::failed(messageOr(message, startRefusedMessage));
  }
}

EarlyUnlockOutcome earlyUnlockOutcome(std::int64_t code, double expirationTimestamp,
                                      std::string_view message) {
  const auto known = earlyUnlockResultCodeFromRaw(code);
  if (!known) return EarlyUnlockOutcome::refused(messageOr(message, unrecognizedResponseMessage));
  if (*known == EarlyUnlockResultCode::accepted) {
    return EarlyUnlockOutcome::done(wireDate(expirationTimestamp),
                                    messageOr(message, earlyUnlockDefaultMessage(*known)));
  }
  return EarlyUnlockOutcome::refused(messageOr(message, earlyUnlockDefaultMessage(*known)));
}

HelperRestartOutcome helperRestartOutcome(std::int64_t code, std::string_view message) {
  const auto known = helperRestartResultCodeFromRaw(code);
  if (!known) return HelperRestartOutcome::failed(messageOr(message, unrecognizedResponseMessage));
  if (*known == HelperRestartResultCode::accepted) return HelperRestartOutcome::accepted();
  return HelperRestartOutcome::refused(messageOr(message, helperRestartDefaultMessage(*known)));
}

HealthProbeResult healthProbeResult(std::int64_t protocolVersion, std::string_view helperVersion,
                                    std::int64_t readyCode, std::int64_t expected) {
  if (protocolVersion != expected) {
    return HealthProbeResult::versionMismatch(protocolVersion, expected);
  }
  if (readyCode == rawValue(HealthReadyCode::ready)) {
    return HealthProbeResult::ready(std::string(helperVersion));
  }
  return HealthProbeResult::failed();
}

bool healthIsReady(std::int64_t protocolVersion, std::int64_t readyCode, std::int64_t expected) {
  return protocolVersion == expected && readyCode == rawValue(HealthReadyCode::ready);
}

std::string describe(const XPCStartOutcome& outcome) {
  switch (outcome.kind) {
    case XPCStartOutcome::Kind::started:
      return "started(expiration: " + dateText(outcome.expiration) + ")";
    case XPCStartOutcome::Kind::activationPending:
      return "activationPending(expiration: " + dateText(outcome.expiration) + ")";
    case XPCStartOutcome::Kind::failed:
      return "failed(message: " + quoted(outcome.message) + ")";
    case XPCStartOutcome::Kind::helperUnavailable:
      return "helperUnavailable";
  }
  return "";
}

std::string describe(const EarlyUnlockOutcome& outcome) {
  switch (outcome.kind) {
    case EarlyUnlockOutcome::Kind::done:
      return "done(expiration: " + dateText(outcome.expiration) +
             ", message: " + quoted(outcome.message) + ")";
    case EarlyUnlockOutcome::Kind::refused:
      return "refused(message: " + quoted(outcome.message) + ")";
    case EarlyUnlockOutcome::Kind::helperUnavailable:
      return "helperUnavailable";
  }
  return "";
}

std::string describe(const HelperRestartOutcome& outcome) {
  switch (outcome.kind) {
    case HelperRestartOutcome::Kind::refused:
      return "refused(message: " + quoted(outcome.message) + ")";
    case HelperRestartOutcome::Kind::failed:
      return "failed(message: " + quoted(outcome.message) + ")";
    case HelperRestartOutcome::Kind::accepted:
      return "accepted";
    case HelperRestartOutcome::Kind::helperUnavailable:
      return "helperUnavailable";
  }
  return "";
}

std::string describe(const HealthProbeResult& result) {
  switch (result.kind) {
    case HealthProbeResult::Kind::ready:
      return "ready(version: " + quoted(result.version) + ")";
    case HealthProbeResult::Kind::versionMismatch:
      return "versionMismatch(helperVersion: " + std::to_string(result.helperVersion) +
             ", expected: " + std::to_string(result.expected) + ")";
    case HealthProbeResult::Kind::failed:
      return "failed";
  }
  return "";
}

std::ostream& operator<<(std::ostream& out, const XPCStartOutcome& outcome) {
  return out << describe(outcome);
}
std::ostream& operator<<(std::ostream& out, const EarlyUnlockOutcome& outcome) {
  return out << describe(outcome);
}
std::ostream& operator<<(std::ostream& out, const HelperRestartOutcome& outcome) {
  return out << describe(outcome);
}
std::ostream& operator<<(std::ostream& out, const HealthProbeResult& result) {
  return out << describe(result);
}

}  // namespace nubrik
