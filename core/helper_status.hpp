#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.hpp"
#include "core/session.hpp"

namespace nubrik {

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

}  // namespace nubrik
