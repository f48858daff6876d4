#include "app/main_screen.hpp"

namespace nubrik {

namespace {

bool isRestoringAfter(Date end, Date now, double leadSeconds) {
  const double since = secondsBetween(end, now);
  return since >= -leadSeconds && since < restoringWindowSeconds;
}

}  // namespace

MainScreen mainScreen(const GuiStatus& status, std::optional<Date> lastActiveEnd, Date now,
                      bool isStarting, std::optional<Date> lastConfirmedIdle) {
  if (status.isConfirmedIdle()) return MainScreen::idle;
  if (const std::optional<Date> expiration = status.expirationDate()) {
    // A helper that still reports the session long after its end is believed: it is enforcing.
    return isRestoringAfter(*expiration, now, 0) ? MainScreen::restoring : MainScreen::active;
  }
  if (status.unavailableReason() != StatusUnavailableReason::busy) return MainScreen::unavailable;
  if (isStarting) return MainScreen::starting;
  if (lastActiveEnd && isRestoringAfter(*lastActiveEnd, now, restoringLeadSeconds)) {
    return MainScreen::restoring;
  }
  // A clock that stepped back since the idle reading still counts as within the grace.
  if (lastConfirmedIdle && secondsBetween(*lastConfirmedIdle, now) < idleBusyGraceSeconds) {
    return MainScreen::idle;
  }
  return MainScreen::unavailable;
}

void MainScreenHistory::observe(const GuiStatus& status, Date readingTime) {
  if (const std::optional<Date> expiration = status.expirationDate()) {
    lastActiveEnd = expiration;
  } else if (status.isConfirmedIdle()) {
    lastActiveEnd.reset();
    lastConfirmedIdle = readingTime;
  }
}

}  // namespace nubrik
