#pragma once

#include <optional>

#include "core/date.hpp"

namespace nubrik {

// The answer to an early-unlock request or cancellation; on the wire, the position of the case.
enum class EarlyUnlockResultCode {
  accepted,
  alreadyPending,
  noActiveSession,
  endsSoon,
  notPending,
  tooLate,
  busy,
  failed,
};

// A result code and the session end that the application shows, when there is one.
struct EarlyUnlockResult {
  EarlyUnlockResultCode code = EarlyUnlockResultCode::failed;
  std::optional<Date> expiration;
  bool operator==(const EarlyUnlockResult&) const = default;
};

}  // namespace nubrik
