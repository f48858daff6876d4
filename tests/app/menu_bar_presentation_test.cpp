#include "app/menu_bar_presentation.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nubrik {
namespace {

const Date now = dateFromReferenceSeconds(800000000.0);

Date secondsFromNow(double seconds) {
  return now + std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds));
}

// Stands in for the locale's short time: the seconds after `now`, so each test sees which date
// was formatted.
std::string fakeTime(Date date) {
  return "T+" + std::to_string(static_cast<long long>(secondsBetween(now, date)));
}

TEST(MenuBarRemainingText, Table) {
  const std::vector<std::pair<double, std::string>> cases = {
      {59.9, "<1m"}, {60, "1m"}, {3599, "59m"}, {3600, "1h 00m"}, {86400, "24h 00m"}, {-600, "<1m"},
  };
  for (const auto& [seconds, text] : cases) {
    EXPECT_EQ(menuBarRemainingText(secondsFromNow(seconds), now), text) << seconds;
  }
}

TEST(MenuBarPresentation, Table) {
  struct Case {
    GuiStatus status;
    bool earlyUnlockPending;
    MenuBarPresentation expected;
  };
  const Date inAnHour = secondsFromNow(3660);
  const MenuBarPresentation online{"lock.open", std::nullopt, "Online", std::nullopt,
                                   "Tamsel: online"};
  const std::vector<Case> cases = {
      // A pending flag without a session changes nothing.
      {GuiStatus::confirmedIdle(), false, online},
      {GuiStatus::confirmedIdle(), true, online},
      {GuiStatus::confirmedActive(inAnHour, 1),
       false,
       {"lock.fill", "1h 01m", "Offline: 1h 01m remaining", "Back online at T+3660",
        "Tamsel: offline, 1h 01m remaining"}},
      {GuiStatus::confirmedActive(inAnHour, 1),
       true,
       {"lock.fill", "1h 01m", "Offline: 1h 01m remaining",
        "Early unlock in progress \xC2\xB7 back online at T+3660",
        "Tamsel: offline, 1h 01m remaining, early unlock in progress"}},
      {GuiStatus::confirmedActive(secondsFromNow(59), 3000),
       false,
       {"lock.fill", "<1m", "Offline: <1m remaining", "Back online at T+59",
        "Tamsel: offline, <1m remaining"}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(menuBarPresentation(cases[i].status, cases[i].earlyUnlockPending, now, fakeTime),
              cases[i].expected)
        << "case " << i;
  }
  for (const auto reason : {StatusUnavailableReason::missing, StatusUnavailableReason::busy}) {
    const MenuBarPresentation expected{"exclamationmark.triangle", std::nullopt,
                                       "Status unavailable", "Open Tamsel for details",
                                       "Tamsel: status unavailable"};
    EXPECT_EQ(menuBarPresentation(GuiStatus::unavailable(reason), true, now, fakeTime), expected)
        << rawValue(reason);
  }
}

TEST(MenuBarPresentation, TitleCountsFromNowNotFromTheStatusFile) {
  // The status file said 3000 s a while ago; the title follows the clock.
  const GuiStatus status = GuiStatus::confirmedActive(secondsFromNow(3599), 3000);
  EXPECT_EQ(menuBarPresentation(status, false, now, fakeTime).title, "59m");
  EXPECT_EQ(menuBarPresentation(status, false, secondsFromNow(3540), fakeTime).title, "<1m");
}

}  // namespace
}  // namespace nubrik
