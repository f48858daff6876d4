#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/date.hpp"

namespace nubrik {

// Time from an early-unlock request to the restore.
inline constexpr double nubrikEarlyUnlockCooldownSeconds = 900.0;

// Raised by every decoder when bytes are not the expected record. what() says why.
class DecodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ServiceState {
  std::string name;
  bool wasEnabled = false;
  bool operator==(const ServiceState&) const = default;
};

struct InterfaceState {
  std::string name;
  bool wasUp = false;
  bool operator==(const InterfaceState&) const = default;
};

struct OfflineSession {
  std::string id;
  Date startDate;
  Date expirationDate;
  std::vector<ServiceState> services;
  std::map<std::string, bool> wifiPower;
  // Absent in legacy records written before interfaces were captured.
  std::optional<std::vector<InterfaceState>> interfaces;
  bool active = true;
  std::optional<Date> originalExpirationDate;
  std::optional<Date> earlyUnlockRequestedAt;
  // The boot the session is measured in and the boot clock (seconds since that boot, suspend
  // included) at its start. Absent in records written before sessions were measured this way.
  std::optional<std::string> bootID;
  std::optional<double> bootTimeAtStart;

  bool operator==(const OfflineSession&) const = default;

  // True when now is at or after the expiration.
  bool isExpired(Date now) const;
  // True when now is earlier than startDate - 300 s: the clock was set back after the start.
  bool clockLooksWoundBack(Date now) const;
  // True exactly when originalExpirationDate is present.
  bool earlyUnlockPending() const;
};

// Compact JSON of the session file; optional keys are left out.
std::string encodeSession(const OfflineSession& session);
// Strict decode of the session file's bytes; throws DecodingError.
OfflineSession decodeSession(std::string_view bytes);

// The record published in the status file.
struct HelperStatus {
  bool active = false;
  std::optional<Date> expirationDate;
  std::optional<std::int64_t> remainingSeconds;
  // Written only as true; absent otherwise.
  std::optional<bool> earlyUnlockPending;

  bool operator==(const HelperStatus&) const = default;

  static HelperStatus idle();
  // Active with no details: a change of state has not completed.
  static HelperStatus pending();
  // The status of an optional active session at a moment (no session, or an inactive one: idle).
  static HelperStatus derive(const std::optional<OfflineSession>& session, Date now);
};

std::string encodeStatus(const HelperStatus& status);
// Strict decode of a status record; throws DecodingError.
HelperStatus decodeStatus(std::string_view bytes);

enum class CorruptReason { unreadable, undecodable };
std::string_view rawString(CorruptReason reason);
std::optional<CorruptReason> corruptReasonFromRaw(std::string_view raw);

struct CorruptSessionInfo {
  CorruptReason reason = CorruptReason::unreadable;
  std::optional<std::string> quarantinedPath;
  bool pendingPersisted = true;
  bool operator==(const CorruptSessionInfo&) const = default;
};

struct RecoveryPendingMarker {
  Date since;
  CorruptReason reason = CorruptReason::unreadable;
  std::optional<std::string> quarantinedPath;
  bool operator==(const RecoveryPendingMarker&) const = default;
};

std::string encodeMarker(const RecoveryPendingMarker& marker);
// Strict decode; an unknown reason string is undecodable. Throws DecodingError.
RecoveryPendingMarker decodeMarker(std::string_view bytes);

// No session file, or a decodable one whose "active" is false.
struct SessionAbsent {
  bool operator==(const SessionAbsent&) const = default;
};

// valid(OfflineSession) | corrupt(CorruptSessionInfo) | recoveryPending(marker) | absent.
using SessionLoadResult =
    std::variant<OfflineSession, CorruptSessionInfo, RecoveryPendingMarker, SessionAbsent>;

// Text of a load result for diagnostics: "valid(<id>)", "corrupt(undecodable)", ...
std::string describe(const SessionLoadResult& result);

enum class RecoveredKind { restored, failOpen };

// Why a session start did not complete. what() is the default textual form.
class SessionStartError : public std::exception {
 public:
  enum class Kind {
    activationPending,
    invalidDuration,
    activeSessionInProgress,
    expiredSessionPendingRestoration,
    recoveryPending,
    captureFailed,
  };

  explicit SessionStartError(Kind kind);
  static SessionStartError activationPending(OfflineSession session);

  Kind kind() const { return kind_; }
  // The saved session of activationPending; absent for the other cases.
  const std::optional<OfflineSession>& session() const { return session_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // The command line's standard-error text (with its line feed) and exit status.
  std::string_view commandLineText() const;
  int exitStatus() const;

  bool operator==(const SessionStartError& other) const {
    return kind_ == other.kind_ && session_ == other.session_;
  }

 private:
  Kind kind_;
  std::optional<OfflineSession> session_;
  std::string description_;
};

}  // namespace nubrik
