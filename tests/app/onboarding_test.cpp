#include "app/onboarding.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/date.hpp"

namespace nubrik {
namespace {

TEST(ShouldShowOnboarding, OnlyUnseenAndNeverOverAConfirmedSession) {
  const Date now = dateFromUnixSeconds(1'800'000'000);
  struct Case {
    const char* name;
    bool seen;
    GuiStatus status;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"first launch, idle", false, GuiStatus::confirmedIdle(), true},
      {"first launch, helper busy", false, GuiStatus::unavailable(StatusUnavailableReason::busy),
       true},
      {"first launch over a running session", false,
       GuiStatus::confirmedActive(now + std::chrono::hours(1), 3600), false},
      {"over a session past its end but still reported", false,
       GuiStatus::confirmedActive(now - std::chrono::minutes(1), 0), false},
      {"seen, idle", true, GuiStatus::confirmedIdle(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(shouldShowOnboarding(c.seen, c.status), c.expected);
  }
}

}  // namespace
}  // namespace nubrik
