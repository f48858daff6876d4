#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/gui_status.hpp"
#include "core/date.hpp"

namespace nubrik {

// What the menu-bar item shows: a symbol with an optional title beside it, and the menu's first
// lines. Symbol names are the logic's own; the window maps them to icons.
struct MenuBarPresentation {
  std::string symbolName;
  std::optional<std::string> title;
  std::string statusLine;
  std::optional<std::string> detailLine;
  std::string accessibilityLabel;

  friend bool operator==(const MenuBarPresentation&, const MenuBarPresentation&) = default;
};

// A date's time of day in the user's locale, short style, without the date. The window passes the
// toolkit's locale formatting; the logic never formats times itself.
using TimeString = std::function<std::string(Date)>;

// The short remaining time beside the menu-bar symbol: "1h 05m", "42m", or "<1m" in the last
// minute and after the expiration.
std::string menuBarRemainingText(Date expiration, Date now);

// The menu-bar item for a status reading taken at `now`. The remaining time is counted from
// `now` to the expiration, not taken from the status file, so it is the same in every view.
MenuBarPresentation menuBarPresentation(const GuiStatus& status, bool earlyUnlockPending, Date now,
                                        const TimeString& timeString);

}  // namespace nubrik
