#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "core/session.hpp"

namespace nubrik {

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
