#pragma once

#include <optional>

#include "app/gui_status.hpp"
#include "core/date.hpp"

namespace nubrik {

// The main window's five screens.
enum class MainScreen { active, idle, unavailable, restoring, starting };

// How long after an expiration the window shows the restoring screen.
inline constexpr double restoringWindowSeconds = 60.0;
// A busy reading this long before the last known expiration already counts as restoring.
inline constexpr double restoringLeadSeconds = 2.0;

// Which screen to show for a reading at `now`. A busy helper is read in context: a start in
// flight, a session that has just ended, or an idle helper a moment ago explain it; only
// otherwise does the window say the status is unavailable.
MainScreen mainScreen(const GuiStatus& status, std::optional<Date> lastActiveEnd, Date now,
                      bool isStarting, std::optional<Date> lastConfirmedIdle);

// The two dates the main window keeps from its own readings for mainScreen.
struct MainScreenHistory {
  std::optional<Date> lastActiveEnd;
  std::optional<Date> lastConfirmedIdle;

  // A confirmed session records its expiration; a confirmed idle reading forgets it and records
  // when it was read; an unavailable reading changes nothing.
  void observe(const GuiStatus& status, Date readingTime);
};

}  // namespace nubrik
