#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/date.hpp"
#include "core/session.hpp"

namespace nubrik {

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

}  // namespace nubrik
