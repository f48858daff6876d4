#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/gui_status.hpp"
#include "core/date.hpp"

namespace nubrik {

// The main window's countdown numeral at `at`: "59:59" below an hour, "1:00:00" from an hour up,
// and "--" when no session is confirmed.
std::string countdownString(const GuiStatus& status, Date at);

// The label under the numeral: "59m 59s remaining" below an hour, "1h 00m remaining" from an hour
// up; empty when no session is confirmed.
std::string remainingString(const GuiStatus& status, Date at);

// When the countdown must redraw, from a start date: at the start itself, then 50 milliseconds
// after each whole second counted back from the expiration (just after the numeral changes), the
// last just after the expiration.
struct CountdownSchedule {
  Date expiration;

  // Every redraw from `start` on, `start` itself first: one per second left, so for tests and
  // short spans; a view walks the schedule with entryAfter.
  std::vector<Date> entries(Date start) const;
  // The first of entries(start) strictly after `date`, or none once the last has passed.
  std::optional<Date> entryAfter(Date start, Date date) const;
};

}  // namespace nubrik
