#include "app/menu_bar_presentation.hpp"

#include <cstdint>
#include <cstdio>

namespace nubrik {

std::string menuBarRemainingText(Date expiration, Date now) {
  const std::int64_t s = displayedRemainingSeconds(expiration, now);
  if (s >= 3600) {
    char minutes[8];
    std::snprintf(minutes, sizeof minutes, "%02d", static_cast<int>((s % 3600) / 60));
    return std::to_string(s / 3600) + "h " + minutes + "m";
  }
  if (s < 60) return "<1m";
  return std::to_string(s / 60) + "m";
}

MenuBarPresentation menuBarPresentation(const GuiStatus& status, bool earlyUnlockPending, Date now,
                                        const TimeString& timeString) {
  if (status.isUnavailable()) {
    return {"exclamationmark.triangle", std::nullopt, "Status unavailable",
            "Open Tamsel for details", "Tamsel: status unavailable"};
  }
  const std::optional<Date> expiration = status.expirationDate();
  if (!expiration) return {"lock.open", std::nullopt, "Online", std::nullopt, "Tamsel: online"};

  const std::string remaining = menuBarRemainingText(*expiration, now);
  const std::string backOnline = timeString(*expiration);
  if (earlyUnlockPending) {
    return {"lock.fill", remaining, "Offline: " + remaining + " remaining",
            "Early unlock in progress \u00B7 back online at " + backOnline,
            "Tamsel: offline, " + remaining + " remaining, early unlock in progress"};
  }
  return {"lock.fill", remaining, "Offline: " + remaining + " remaining",
          "Back online at " + backOnline, "Tamsel: offline, " + remaining + " remaining"};
}

}  // namespace nubrik
