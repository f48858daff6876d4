// Weekly schedules with the real daemon: a window that is due starts a session at the next tick
// for the rest of the window, is recorded as taken up and never starts a second session, and a
// window joined late starts one only while at least 15 minutes of it remain.
//
// The daemon runs in a time zone whose offset makes the local second hand stand at :30 when the
// test begins, so "the window began 30 seconds ago" is exact rather than whatever the wall clock's
// seconds happen to be.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/date.hpp"
#include "core/helper_status.hpp"
#include "core/recurring_schedule.hpp"
#include "core/session.hpp"
#include "tests/e2e/namespace_harness.hpp"

namespace nubrik {
namespace {

class ScheduleStartTest : public test::NamespaceTest {
 protected:
  // Picks the zone and writes its source for zic to $OUT/zone.txt.
  void SetUp() override {
    NamespaceTest::SetUp();
    if (IsSkipped()) return;
    const auto nowSeconds =
        static_cast<std::int64_t>(std::floor(secondsSince1970(std::chrono::system_clock::now())));
    const std::int64_t offset = ((30 - nowSeconds % 60) % 60 + 60) % 60;
    const std::int64_t local = nowSeconds + offset;
    minuteOfDay = (local / 60) % 1440;
    minuteStart = dateFromUnixSeconds(static_cast<double>(nowSeconds - 30));
    char source[64];
    std::snprintf(source, sizeof source, "Zone Nubrik/HalfMinute 0:00:%02lld - TST\n",
                  static_cast<long long>(offset));
    out.write("zone.txt", source);
  }

  // A schedule on every weekday whose window began `minutesAgo` whole minutes before the
  // current local minute, that is 30 seconds more than that before now.
  RecurringSchedule everyDay(const std::string& id, std::int64_t minutesAgo,
                             std::int64_t durationMinutes) const {
    return RecurringSchedule{id,
                             {1, 2, 3, 4, 5, 6, 7},
                             ((minuteOfDay - minutesAgo) % 1440 + 1440) % 1440,
                             durationMinutes,
                             true};
  }
  Date windowStart(std::int64_t minutesAgo) const {
    return addSeconds(minuteStart, -60.0 * static_cast<double>(minutesAgo));
  }

  void writeSchedules(const std::string& name, const RecurringSchedule& schedule) const {
    ScheduleState state;
    state.schedules = {schedule};
    out.write(name, encodeScheduleState(state));
  }

  void runInZone(const std::string& script) {
    runIsolated(R"SH(
command -v zic >/dev/null || unavailable "zic is not installed"
mkdir -p /run/zones && zic -d /run/zones "$OUT/zone.txt" || exit 94
export TZ=/run/zones/Nubrik/HalfMinute
ip link add uplink0 type veth peer name spare0 || unavailable "veth links are not available here"
ip link set uplink0 up || exit 91
ALL="lo uplink0 spare0"
)SH" + script);
  }

  std::int64_t minuteOfDay = 0;
  Date minuteStart;
};

TEST_F(ScheduleStartTest, DueWindowStartsOneSessionThatARecoverDoesNotBringBack) {
  // Five minutes, joined 30 s in: on time, and 270 s are raised to the shortest session.
  const RecurringSchedule morning = everyDay("morning", 0, 5);
  writeSchedules("schedules.json", morning);
  runInZone(R"SH(
installPrivate "$OUT/schedules.json" "$STATE/schedules.json"
startDaemon
waitFor "the scheduled start" logHas "schedules: started 'morning'"
waitFor "the active status" activePublished
states $ALL >"$OUT/after-start"
cp "$STATE/session.json" "$OUT/session.json"
cp "$STATE/schedules.json" "$OUT/fired.json"
stat -c %a "$STATE/schedules.json" >"$OUT/schedules-mode"
cp "$STATUS" "$OUT/status-after-start"

recover
states $ALL >"$OUT/after-recover"
# Two more ticks, each one asked for at once rather than waited for on the timer.
tick
tick
states $ALL >"$OUT/after-ticks"
ls -A "$STATE" >"$OUT/state-after-ticks"
cp "$STATUS" "$OUT/status-after-ticks"
cp "$STATE/schedules.json" "$OUT/fired-after-ticks.json"
finish
)SH");
  if (!ran()) return;

  EXPECT_EQ(read("after-start"), "lo=up uplink0=down spare0=down\n");
  const OfflineSession session = decodeSession(read("session.json"));
  EXPECT_NEAR(secondsBetween(session.startDate, session.expirationDate), 300.0, 1e-3);
  const HelperStatus active = decodeStatus(read("status-after-start"));
  EXPECT_TRUE(active.active);
  ASSERT_TRUE(active.remainingSeconds.has_value());
  EXPECT_LE(*active.remainingSeconds, 300);
  EXPECT_GE(*active.remainingSeconds, 290);

  const ScheduleState fired = decodeScheduleState(read("fired.json"));
  EXPECT_EQ(fired.schedules, std::vector<RecurringSchedule>{morning});
  ASSERT_EQ(fired.firedWindows.size(), 1u);
  ASSERT_EQ(fired.firedWindows.count("morning"), 1u);
  EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(fired.firedWindows.at("morning")),
                   secondsSinceReferenceDate(windowStart(0)));
  EXPECT_EQ(read("schedules-mode"), "600\n");

  expectCommand("recover", 0, "recovered: network state restored\n", "");
  EXPECT_EQ(read("after-recover"), "lo=up uplink0=up spare0=down\n");
  EXPECT_EQ(read("after-ticks"), "lo=up uplink0=up spare0=down\n");
  EXPECT_EQ(read("state-after-ticks"), "schedules.json\ntransaction.lock\n");
  EXPECT_EQ(read("status-after-ticks"), "{\"active\":false}");
  EXPECT_EQ(decodeScheduleState(read("fired-after-ticks.json")), fired);

  // No other schedule line either: no failed start, no dropped schedule, no second window.
  EXPECT_EQ(logMatching("^schedules: "),
            std::vector<std::string>{"schedules: started 'morning' for 300s"});
  EXPECT_EQ(statusOf("daemon"), 0);
}

TEST_F(ScheduleStartTest, LateWindowStartsOnlyWithFifteenMinutesLeft) {
  // Hour-long windows joined 45:30 and 44:30 in: 14:30 and 15:30 left.
  const RecurringSchedule fourteen = everyDay("late14", 45, 60);
  const RecurringSchedule fifteen = everyDay("late15", 44, 60);
  writeSchedules("schedules-14.json", fourteen);
  writeSchedules("schedules-15.json", fifteen);
  runInZone(R"SH(
installPrivate "$OUT/schedules-14.json" "$STATE/schedules.json"
startDaemon
waitFor "the first tick" idlePublished
states $ALL >"$OUT/after-14"
ls -A "$STATE" >"$OUT/state-after-14"
cp "$STATE/schedules.json" "$OUT/fired-14.json"

installPrivate "$OUT/schedules-15.json" "$STATE/schedules.json"
nudge
waitFor "the late start" logHas "schedules: started 'late15'"
waitFor "the active status" activePublished
states $ALL >"$OUT/after-15"
cp "$STATE/session.json" "$OUT/session.json"
cp "$STATE/schedules.json" "$OUT/fired-15.json"
finish
)SH");
  if (!ran()) return;

  EXPECT_EQ(read("after-14"), "lo=up uplink0=up spare0=down\n");
  EXPECT_EQ(read("state-after-14"), "schedules.json\ntransaction.lock\n");
  EXPECT_TRUE(decodeScheduleState(read("fired-14.json")).firedWindows.empty());

  EXPECT_EQ(read("after-15"), "lo=up uplink0=down spare0=down\n");
  const Date end = addSeconds(windowStart(44), 3600.0);
  const OfflineSession session = decodeSession(read("session.json"));
  EXPECT_NEAR(secondsBetween(end, session.expirationDate), 0.0, 1.0);
  const ScheduleState fired = decodeScheduleState(read("fired-15.json"));
  ASSERT_EQ(fired.firedWindows.size(), 1u);
  ASSERT_EQ(fired.firedWindows.count("late15"), 1u);
  EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(fired.firedWindows.at("late15")),
                   secondsSinceReferenceDate(windowStart(44)));

  EXPECT_EQ(logMatching("late14"), std::vector<std::string>{});
  const std::vector<std::string> started = logMatching(R"(^schedules: started 'late15' for \d+s$)");
  ASSERT_EQ(started.size(), 1u) << read("log");
  const int seconds = std::stoi(started[0].substr(started[0].rfind(' ') + 1));
  EXPECT_GE(seconds, 900);
  EXPECT_LE(seconds, 930);
  EXPECT_NEAR(secondsBetween(session.startDate, session.expirationDate), seconds, 1e-3);
  EXPECT_EQ(statusOf("daemon"), 0);
}

}  // namespace
}  // namespace nubrik
