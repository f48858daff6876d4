#include "helper/log/repeat_summary.hpp"

#include <gtest/gtest.h>

namespace nubrik {
namespace {

using std::chrono::seconds;
using Lines = std::vector<std::string>;

const Date start = dateFromUnixSeconds(1796489491);
const std::string down = "enforcement: interface eth0 set down";

TEST(RepeatSummaryTest, BurstsWithoutRepeatsAndDistinctMessagesLeaveNoTrace) {
  RepeatSummary summary(seconds(60));
  for (int i = 0; i < 10; ++i) {
    const std::string message = "capture: link veth" + std::to_string(i) + " recorded up";
    EXPECT_EQ(summary.admit(message, start), Lines{message});
  }
  EXPECT_TRUE(summary.expire(start + seconds(120)).empty());
  EXPECT_TRUE(summary.flush().empty());
}

TEST(RepeatSummaryTest, TheOldestBurstClosesToMakeRoomAndTheEndOfTheProcessFlushesTheRest) {
  RepeatSummary summary(seconds(60), 2);
  summary.admit("a", start);
  summary.admit("a", start);
  summary.admit("b", start);
  summary.admit("b", start);
  EXPECT_EQ(summary.admit("c", start + seconds(1)),
            (Lines{"repeated 1 more times since 2026-12-05T16:51:31Z: a", "c"}));
  summary.admit("c", start + seconds(2));
  EXPECT_EQ(summary.flush(), (Lines{"repeated 1 more times since 2026-12-05T16:51:31Z: b",
                                    "repeated 1 more times since 2026-12-05T16:51:32Z: c"}));
}

TEST(RepeatSummaryTest, AClockSetBackEndsTheBurstInsteadOfHidingEveryLaterRepeat) {
  RepeatSummary summary(seconds(60));
  summary.admit(down, start);
  summary.admit(down, start + seconds(1));
  EXPECT_EQ(summary.admit(down, start - seconds(3600)),
            (Lines{"repeated 1 more times since 2026-12-05T16:51:31Z: " + down, down}));
}

}  // namespace
}  // namespace nubrik
