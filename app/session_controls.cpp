#include "app/session_controls.hpp"

#include "core/session.hpp"

namespace nubrik {

EarlyUnlockControl earlyUnlockControl(const GuiStatus& status, bool pending, bool helperReady,
                                      Date now) {
  const std::optional<Date> expiration = status.expirationDate();
  if (!expiration || !helperReady) return EarlyUnlockControl::hidden;
  if (pending) return EarlyUnlockControl::cancelRequest;
  const auto left = static_cast<double>(displayedRemainingSeconds(*expiration, now));
  return left > nubrikEarlyUnlockCooldownSeconds ? EarlyUnlockControl::request
                                                 : EarlyUnlockControl::hidden;
}

bool sessionStartIsEnabled(const GuiStatus& status, bool helperReady) {
  return status.isConfirmedIdle() && helperReady;
}

}  // namespace nubrik
