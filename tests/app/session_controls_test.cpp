#include "app/session_controls.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace nubrik {
namespace {

const Date now = dateFromReferenceSeconds(800000000.0);

Date secondsFromNow(double seconds) {
  return now + std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds));
}

TEST(EarlyUnlockControl, Table) {
  struct Case {
    const char* name;
    GuiStatus status;
    bool pending;
    bool helperReady;
    EarlyUnlockControl expected;
  };
  const auto active = [](double seconds) {
    return GuiStatus::confirmedActive(secondsFromNow(seconds), 5000);
  };
  const std::vector<Case> cases = {
      {"idle", GuiStatus::confirmedIdle(), false, true, EarlyUnlockControl::hidden},
      {"idle, pending", GuiStatus::confirmedIdle(), true, true, EarlyUnlockControl::hidden},
      {"901 s left", active(901), false, true, EarlyUnlockControl::request},
      {"900.9 s left", active(900.9), false, true, EarlyUnlockControl::hidden},
      {"expired", active(-5), false, true, EarlyUnlockControl::hidden},
      {"pending, 10 s left", active(10), true, true, EarlyUnlockControl::cancelRequest},
      {"helper not ready", active(3600), false, false, EarlyUnlockControl::hidden},
      {"helper not ready, pending", active(3600), true, false, EarlyUnlockControl::hidden},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(earlyUnlockControl(c.status, c.pending, c.helperReady, now), c.expected) << c.name;
  }
}

TEST(SessionStartIsEnabled, OnlyWhenIdleAndReady) {
  EXPECT_TRUE(sessionStartIsEnabled(GuiStatus::confirmedIdle(), true));
  EXPECT_FALSE(sessionStartIsEnabled(GuiStatus::confirmedIdle(), false));
  EXPECT_FALSE(sessionStartIsEnabled(GuiStatus::confirmedActive(secondsFromNow(600), 600), true));
  EXPECT_FALSE(sessionStartIsEnabled(GuiStatus::unavailable(StatusUnavailableReason::busy), true));
}

}  // namespace
}  // namespace nubrik
