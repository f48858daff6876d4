#include "app/countdown.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace nubrik {
namespace {

using std::chrono::milliseconds;

const Date now = dateFromReferenceSeconds(800000000.0);

Date secondsFromNow(double seconds) {
  return now + std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds));
}

TEST(CountdownTexts, Table) {
  struct Case {
    double remaining;
    std::string countdown;
    std::string label;
  };
  const std::vector<Case> cases = {
      {59.9, "0:59", "0m 59s remaining"},    {3599, "59:59", "59m 59s remaining"},
      {3725, "1:02:05", "1h 02m remaining"}, {86400, "24:00:00", "24h 00m remaining"},
      {-30, "0:00", "0m 00s remaining"},
  };
  for (const auto& c : cases) {
    const GuiStatus status = GuiStatus::confirmedActive(secondsFromNow(c.remaining), 12345);
    EXPECT_EQ(countdownString(status, now), c.countdown) << c.remaining;
    EXPECT_EQ(remainingString(status, now), c.label) << c.remaining;
  }
}

TEST(CountdownTexts, NoSessionShowsNoCountdown) {
  for (const GuiStatus& status :
       {GuiStatus::confirmedIdle(), GuiStatus::unavailable(StatusUnavailableReason::busy)}) {
    EXPECT_EQ(countdownString(status, now), "--");
    EXPECT_EQ(remainingString(status, now), "");
  }
}

TEST(CountdownSchedule, RedrawsJustAfterEachSecondToTheEnd) {
  struct Case {
    double startBeforeExpiration;
    // Offsets of the entries after the start, relative to the expiration, in milliseconds.
    std::vector<std::int64_t> entries;
  };
  const std::vector<Case> cases = {
      {3.04, {-1950, -950, 50}},
      {3.06, {-2950, -1950, -950, 50}},
      {0.051, {50}},
      {0.04, {}},
      {-2.0, {}},
  };
  const Date expiration = secondsFromNow(100);
  for (const auto& c : cases) {
    const Date start = expiration - std::chrono::duration_cast<Date::duration>(
                                        std::chrono::duration<double>(c.startBeforeExpiration));
    std::vector<Date> expected{start};
    for (const std::int64_t offset : c.entries)
      expected.push_back(expiration + milliseconds(offset));
    const CountdownSchedule schedule{expiration};
    EXPECT_EQ(schedule.entries(start), expected) << c.startBeforeExpiration;

    std::vector<Date> walked;
    for (std::optional<Date> next = schedule.entryAfter(start, start - milliseconds(1)); next;
         next = schedule.entryAfter(start, *next)) {
      walked.push_back(*next);
    }
    EXPECT_EQ(walked, expected) << c.startBeforeExpiration;
    // From between two entries the walk resumes at the later one.
    if (expected.size() > 2) {
      EXPECT_EQ(schedule.entryAfter(start, expected[1] + milliseconds(400)), expected[2]);
    }
  }
}

}  // namespace
}  // namespace nubrik
