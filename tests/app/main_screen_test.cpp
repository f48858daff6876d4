#include "app/main_screen.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

namespace nubrik {
namespace {

const Date now = dateFromReferenceSeconds(800000000.0);

Date secondsFromNow(double seconds) {
  return now + std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds));
}

const GuiStatus busy = GuiStatus::unavailable(StatusUnavailableReason::busy);

TEST(MainScreen, Table) {
  struct Case {
    const char* name;
    GuiStatus status;
    std::optional<double> lastActiveEnd;  // seconds from now
    bool isStarting;
    std::optional<double> lastConfirmedIdle;  // seconds from now
    MainScreen expected;
  };
  const auto active = [](double secondsLeft, std::int64_t remaining) {
    return GuiStatus::confirmedActive(secondsFromNow(secondsLeft), remaining);
  };
  constexpr std::nullopt_t no = std::nullopt;
  const GuiStatus idle = GuiStatus::confirmedIdle();
  const GuiStatus missing = GuiStatus::unavailable(StatusUnavailableReason::missing);
  const GuiStatus malformed = GuiStatus::unavailable(StatusUnavailableReason::malformed);
  const std::vector<Case> cases = {
      {"idle", idle, no, true, no, MainScreen::idle},
      {"running", active(600, 600), no, false, no, MainScreen::active},
      {"expired just now", active(0, 0), no, false, no, MainScreen::restoring},
      {"expired 59 s ago", active(-59.9, 0), no, false, no, MainScreen::restoring},
      {"expired 60 s ago and still reported", active(-60, 0), no, false, no, MainScreen::active},
      {"missing", missing, -10.0, true, -1.0, MainScreen::unavailable},
      {"malformed", malformed, -10.0, false, no, MainScreen::unavailable},
      {"busy while starting", busy, -10.0, true, -1.0, MainScreen::starting},
      {"busy 2 s before the end", busy, 2.0, false, no, MainScreen::restoring},
      {"busy 2.5 s before the end", busy, 2.5, false, no, MainScreen::unavailable},
      {"busy 60 s after the end", busy, -60.0, false, no, MainScreen::unavailable},
      {"busy 60 s after the end, idle just before", busy, -60.0, false, -3.0, MainScreen::idle},
      {"busy 5 s after idle", busy, no, false, -5.0, MainScreen::idle},
      {"busy 6 s after idle", busy, no, false, -6.0, MainScreen::unavailable},
      {"busy, nothing known", busy, no, false, no, MainScreen::unavailable},
  };
  for (const auto& c : cases) {
    const auto date = [](std::optional<double> seconds) -> std::optional<Date> {
      if (!seconds) return std::nullopt;
      return secondsFromNow(*seconds);
    };
    EXPECT_EQ(
        mainScreen(c.status, date(c.lastActiveEnd), now, c.isStarting, date(c.lastConfirmedIdle)),
        c.expected)
        << c.name;
  }
}

TEST(MainScreenHistory, KeepsTheDatesOfItsOwnReadings) {
  MainScreenHistory history;
  const Date end = secondsFromNow(300);
  history.observe(GuiStatus::confirmedActive(end, 300), now);
  EXPECT_EQ(history.lastActiveEnd, end);
  EXPECT_EQ(history.lastConfirmedIdle, std::nullopt);

  history.observe(busy, secondsFromNow(301));
  history.observe(GuiStatus::unavailable(StatusUnavailableReason::missing), secondsFromNow(302));
  EXPECT_EQ(history.lastActiveEnd, end);

  history.observe(GuiStatus::confirmedIdle(), secondsFromNow(330));
  EXPECT_EQ(history.lastActiveEnd, std::nullopt);
  EXPECT_EQ(history.lastConfirmedIdle, secondsFromNow(330));

  history.observe(busy, secondsFromNow(333));
  EXPECT_EQ(history.lastConfirmedIdle, secondsFromNow(330));
  // A busy reading right after the idle one is still shown as idle, then no longer.
  EXPECT_EQ(mainScreen(busy, history.lastActiveEnd, secondsFromNow(335.9), false,
                       history.lastConfirmedIdle),
            MainScreen::idle);
  EXPECT_EQ(mainScreen(busy, history.lastActiveEnd, secondsFromNow(336), false,
                       history.lastConfirmedIdle),
            MainScreen::unavailable);
}

}  // namespace
}  // namespace nubrik
