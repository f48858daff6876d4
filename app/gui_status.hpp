#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/date.hpp"

namespace nubrik {

// Why no trustworthy status could be read from the helper's public files.
enum class StatusUnavailableReason { missing, unreadable, malformed, busy };

constexpr std::string_view rawValue(StatusUnavailableReason reason) {
  switch (reason) {
    case StatusUnavailableReason::missing:
      return "missing";
    case StatusUnavailableReason::unreadable:
      return "unreadable";
    case StatusUnavailableReason::malformed:
      return "malformed";
    case StatusUnavailableReason::busy:
      return "busy";
  }
  return "missing";
}

// The app's view of the helper's state: a session confirmed running, confirmed none, or no
// trustworthy reading at all.
class GuiStatus {
 public:
  enum class Kind { confirmedActive, unavailable, confirmedIdle };

  static GuiStatus confirmedActive(Date expiration, std::int64_t remainingSeconds) {
    GuiStatus status(Kind::confirmedActive);
    status.expiration_ = expiration;
    status.remainingSeconds_ = remainingSeconds;
    return status;
  }
  static GuiStatus unavailable(StatusUnavailableReason reason) {
    GuiStatus status(Kind::unavailable);
    status.reason_ = reason;
    return status;
  }
  static GuiStatus confirmedIdle() { return GuiStatus(Kind::confirmedIdle); }

  Kind kind() const { return kind_; }
  bool isConfirmedActive() const { return kind_ == Kind::confirmedActive; }
  bool isUnavailable() const { return kind_ == Kind::unavailable; }
  bool isConfirmedIdle() const { return kind_ == Kind::confirmedIdle; }

  // The session's expiration while confirmed active, otherwise none.
  std::optional<Date> expirationDate() const {
    return isConfirmedActive() ? std::optional<Date>(expiration_) : std::nullopt;
  }
  // The remaining seconds the helper published while confirmed active, otherwise none.
  std::optional<std::int64_t> remainingSeconds() const {
    return isConfirmedActive() ? std::optional<std::int64_t>(remainingSeconds_) : std::nullopt;
  }
  // Why the status is unavailable, otherwise none.
  std::optional<StatusUnavailableReason> unavailableReason() const {
    return isUnavailable() ? std::optional<StatusUnavailableReason>(reason_) : std::nullopt;
  }

  friend bool operator==(const GuiStatus& a, const GuiStatus& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
      case Kind::confirmedActive:
        return a.expiration_ == b.expiration_ && a.remainingSeconds_ == b.remainingSeconds_;
      case Kind::unavailable:
        return a.reason_ == b.reason_;
      case Kind::confirmedIdle:
        return true;
    }
    return true;
  }

 private:
  explicit GuiStatus(Kind kind) : kind_(kind) {}

  Kind kind_;
  Date expiration_{};
  std::int64_t remainingSeconds_ = 0;
  StatusUnavailableReason reason_ = StatusUnavailableReason::missing;
};

// One reading of the helper's status, with whether an early unlock is counting down.
struct GuiStatusDetail {
  GuiStatus status = GuiStatus::unavailable(StatusUnavailableReason::missing);
  bool earlyUnlockPending = false;

  friend bool operator==(const GuiStatusDetail&, const GuiStatusDetail&) = default;
};

// While the helper waits for the user's approval, this one text explains every unavailable status
// and the setup sheet's state alike, because approving it is what brings the helper, and the
// internet, back.
inline constexpr std::string_view helperApprovalMessage =
    "Turn Tamsel on in Login Items to finish setup. If your computer is offline, this brings your "
    "internet back.";

// A busy reading this soon after the last confirmed idle one still counts as idle on the main
// screen, so that a short helper transaction does not flash an unavailable screen.
inline constexpr double idleBusyGraceSeconds = 6.0;

// Whole seconds from `at` to `expiration`, truncated toward zero and never below 0: what a
// countdown shows at `at`.
inline std::int64_t displayedRemainingSeconds(Date expiration, Date at) {
  if (expiration <= at) return 0;
  return std::chrono::duration_cast<std::chrono::seconds>(expiration - at).count();
}

}  // namespace nubrik
