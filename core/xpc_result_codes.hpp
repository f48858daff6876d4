#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "core/date.hpp"
#include "core/early_unlock_result.hpp"
#include "core/nubrik_xpc.hpp"
#include "core/session_start_error.hpp"

namespace nubrik {

// Every code set below travels as the case's position (int64), starting at 0.

enum class XPCStartResultCode : std::int64_t {
  started,
  activationPending,
  invalidDuration,
  activeSession,
  expiredAwaitingRestoration,
  corruptRecoveryPending,
  captureFailed,
  // Never sent by the helper: the app's texts for failures it detects itself.
  unauthorized,
  requestFailed,
  helperUnavailable,
  helperRestarting,
};

// EarlyUnlockResultCode (accepted ... failed) lives in core/early_unlock_result.hpp.

enum class ScheduleResultCode : std::int64_t {
  accepted,
  invalid,
  tooMany,
  duplicate,
  busy,
  failed,
};

enum class HelperRestartResultCode : std::int64_t {
  accepted,
  sessionActive,
  notIdle,
  busy,
};

enum class HealthReadyCode : std::int64_t {
  ready,
  unavailable,
};

// The wire value of a code.
template <typename Code>
constexpr std::int64_t rawValue(Code code) {
  return static_cast<std::int64_t>(code);
}

// Decoding a wire value: none when it is outside the code set.
std::optional<XPCStartResultCode> xpcStartResultCodeFromRaw(std::int64_t raw);
std::optional<EarlyUnlockResultCode> earlyUnlockResultCodeFromRaw(std::int64_t raw);
std::optional<ScheduleResultCode> scheduleResultCodeFromRaw(std::int64_t raw);
std::optional<HelperRestartResultCode> helperRestartResultCodeFromRaw(std::int64_t raw);
std::optional<HealthReadyCode> healthReadyCodeFromRaw(std::int64_t raw);

// The text the helper sends with each code.
std::string_view xpcDefaultMessage(XPCStartResultCode code);
std::string_view earlyUnlockDefaultMessage(EarlyUnlockResultCode code);
std::string_view scheduleDefaultMessage(ScheduleResultCode code);
std::string_view helperRestartDefaultMessage(HelperRestartResultCode code);

// Texts that are not a code's default.
// Sent with the busy code of every operation whose state lock is held elsewhere.
inline constexpr std::string_view xpcBusyMessage =
    "Another helper operation is in progress; try again in a moment.";
// Sent with code 0 of a cancel that succeeded.
inline constexpr std::string_view earlyUnlockCancelledMessage =
    "Early unlock cancelled. The session continues.";
// The app's fallback for a code it does not know.
inline constexpr std::string_view unrecognizedResponseMessage =
    "Helper returned an unrecognized response.";
// The app's fallback for a refused start with an empty message.
inline constexpr std::string_view startRefusedMessage = "The helper refused the start request.";

// The start code of a session start's outcome: none (success) -> started, each error case ->
// its code (activationPending -> 1 ... captureFailed -> 6).
XPCStartResultCode xpcResultCode(std::optional<SessionStartError::Kind> error);
XPCStartResultCode xpcResultCode(const SessionStartError& error);

// Wire timestamps: seconds since 1970; any value not greater than 0 (or not a number) is no date.
std::optional<Date> wireDate(double timestamp);
// A date as a wire timestamp; none -> 0.
double wireTimestamp(const std::optional<Date>& date);

// The helper's answer to a health check, fields in wire order.
struct HealthReply {
  std::int64_t protocolVersion = 0;
  std::string helperVersion;
  std::int64_t readyCode = rawValue(HealthReadyCode::unavailable);

  bool operator==(const HealthReply&) const = default;
  // True when readyCode is 0.
  bool isReady() const;
};

// The app's reading of a start reply.
struct XPCStartOutcome {
  enum class Kind { started, activationPending, failed, helperUnavailable };
  Kind kind = Kind::helperUnavailable;
  // started, activationPending.
  std::optional<Date> expiration;
  // failed.
  std::string message;

  bool operator==(const XPCStartOutcome&) const = default;
  static XPCStartOutcome started(std::optional<Date> expiration);
  static XPCStartOutcome activationPending(std::optional<Date> expiration);
  static XPCStartOutcome failed(std::string message);
  static XPCStartOutcome helperUnavailable();
};

// The app's reading of an early-unlock request or cancel reply.
struct EarlyUnlockOutcome {
  enum class Kind { done, refused, helperUnavailable };
  Kind kind = Kind::helperUnavailable;
  // done.
  std::optional<Date> expiration;
  // done, refused.
  std::string message;

  bool operator==(const EarlyUnlockOutcome&) const = default;
  static EarlyUnlockOutcome done(std::optional<Date> expiration, std::string message);
  static EarlyUnlockOutcome refused(std::string message);
  static EarlyUnlockOutcome helperUnavailable();
};

// The app's reading of a restart reply.
struct HelperRestartOutcome {
  enum class Kind { refused, failed, accepted, helperUnavailable };
  Kind kind = Kind::helperUnavailable;
  // refused, failed.
  std::string message;

  bool operator==(const HelperRestartOutcome&) const = default;
  static HelperRestartOutcome refused(std::string message);
  static HelperRestartOutcome failed(std::string message);
  static HelperRestartOutcome accepted();
  static HelperRestartOutcome helperUnavailable();
};

// The app's reading of a health reply.
struct HealthProbeResult {
  enum class Kind { ready, versionMismatch, failed };
  Kind kind = Kind::failed;
  // ready: the helper's version string.
  std::string version;
  // versionMismatch: the protocol version the helper reported, and the one expected.
  std::int64_t helperVersion = 0;
  std::int64_t expected = 0;

  bool operator==(const HealthProbeResult&) const = default;
  static HealthProbeResult ready(std::string version);
  static HealthProbeResult versionMismatch(std::int64_t helperVersion, std::int64_t expected);
  static HealthProbeResult failed();
};

// Reply mappings. "The message or X": the received message when not empty, else X.
// 0 -> started, 1 -> activationPending (with the date), 2...9 -> failed(message or "The helper
// refused the start request."), 10 -> failed(message or the restarting text), else
// failed(message or "Helper returned an unrecognized response.").
XPCStartOutcome xpcStartOutcome(std::int64_t code, double expirationTimestamp,
                                std::string_view message);
// 0 -> done(date, message or the accepted text), 1...7 -> refused(message or that code's text),
// else refused(message or the unrecognized text).
EarlyUnlockOutcome earlyUnlockOutcome(std::int64_t code, double expirationTimestamp,
                                      std::string_view message);
// 0 -> accepted, 1...3 -> refused(message or that code's text), else failed(message or the
// unrecognized text).
HelperRestartOutcome helperRestartOutcome(std::int64_t code, std::string_view message);
// A protocol version other than expected -> versionMismatch(reported, expected) whatever the
// ready code; else ready code 0 -> ready(helper version); else failed.
HealthProbeResult healthProbeResult(std::int64_t protocolVersion, std::string_view helperVersion,
                                    std::int64_t readyCode,
                                    std::int64_t expected = nubrikXPCProtocolVersion);
// The protocol version equals the expected one and the ready code is 0.
bool healthIsReady(std::int64_t protocolVersion, std::int64_t readyCode,
                   std::int64_t expected = nubrikXPCProtocolVersion);

// Default textual forms, e.g. `failed(message: "A session is already active.")`,
// `started(expiration: 1.5)` (seconds since 1970) or `started(expiration: nil)`.
std::string describe(const XPCStartOutcome& outcome);
std::string describe(const EarlyUnlockOutcome& outcome);
std::string describe(const HelperRestartOutcome& outcome);
std::string describe(const HealthProbeResult& result);
std::ostream& operator<<(std::ostream& out, const XPCStartOutcome& outcome);
std::ostream& operator<<(std::ostream& out, const EarlyUnlockOutcome& outcome);
std::ostream& operator<<(std::ostream& out, const HelperRestartOutcome& outcome);
std::ostream& operator<<(std::ostream& out, const HealthProbeResult& result);

}  // namespace nubrik
