#include <cctz/civil_time.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <stdexcept>

#include "core/calendar.hpp"
#include "core/recurring_schedule.hpp"
#include "tests/support/scoped_environment.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using Fired = std::map<std::string, Date>;

ZoneCalendar zone(const std::string& name) {
  std::optional<ZoneCalendar> calendar = ZoneCalendar::named(name);
  if (!calendar) throw std::runtime_error("time zone missing: " + name);
  return *calendar;
}

// A local time that occurs exactly once in the calendar's zone.
Date local(const ZoneCalendar& calendar, int y, int mo, int d, int h, int mi, int s = 0) {
  return Date(std::chrono::duration_cast<Date::duration>(
      cctz::convert(cctz::civil_second(y, mo, d, h, mi, s), calendar.zone()).time_since_epoch()));
}

Date utc(int y, int mo, int d, int h, int mi, int s = 0) {
  return local(ZoneCalendar(cctz::utc_time_zone()), y, mo, d, h, mi, s);
}

std::optional<ScheduleStart> decide(const std::vector<RecurringSchedule>& schedules, Date now,
                                    const Calendar& calendar, const Fired& fired = {}) {
  const ScheduleDecision decision = scheduleDecision(schedules, now, calendar, fired);
  if (const auto* start = std::get_if<ScheduleStart>(&decision)) return *start;
  return std::nullopt;
}

TEST(Calendar, SystemCalendarFollowsTheZoneAtEveryCall) {
  const test::ScopedEnvironment saved("TZ", nullptr);
  const TempDir dir;
  const std::string link = dir.file("localtime");
  const SystemCalendar calendar(link);
  const Date instant = utc(2026, 1, 5, 20, 0);  // Monday evening UTC, Tuesday in Tokyo

  ::setenv("TZ", "Asia/Tokyo", 1);
  EXPECT_EQ(calendar.weekday(instant), 3);
  EXPECT_EQ(calendar.startOfDay(instant), utc(2026, 1, 5, 15, 0));
  ::setenv("TZ", ":America/Los_Angeles", 1);
  EXPECT_EQ(calendar.weekday(instant), 2);
  EXPECT_EQ(calendar.startOfDay(instant), utc(2026, 1, 5, 8, 0));

  // Without TZ (or with ":localtime") the zone link decides, and a relinked zone takes effect
  // at once even though the link's own name stays the same.
  ::unsetenv("TZ");
  ASSERT_EQ(::symlink("/usr/share/zoneinfo/Europe/Berlin", link.c_str()), 0);
  EXPECT_EQ(calendar.startOfDay(instant), utc(2026, 1, 4, 23, 0));
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink("/usr/share/zoneinfo/Asia/Tokyo", link.c_str()), 0);
  ::setenv("TZ", ":localtime", 1);
  EXPECT_EQ(calendar.startOfDay(instant), utc(2026, 1, 5, 15, 0));
}

struct Case {
  const char* what;
  std::vector<RecurringSchedule> schedules;
  Date now;
  Fired fired;
  std::optional<std::int64_t> seconds;  // none: no start
  Date windowStart = {};
};

void check(const Calendar& calendar, const Case& c) {
  const std::optional<ScheduleStart> start = decide(c.schedules, c.now, calendar, c.fired);
  if (!c.seconds) {
    EXPECT_EQ(start, std::nullopt) << c.what;
    return;
  }
  ASSERT_TRUE(start) << c.what;
  EXPECT_EQ(start->durationSeconds, *c.seconds) << c.what;
  EXPECT_EQ(start->windowStart, c.windowStart) << c.what;
  EXPECT_EQ(start->windowEnd, c.windowStart + std::chrono::minutes(c.schedules[0].durationMinutes))
      << c.what;
  EXPECT_EQ(start->scheduleID, c.schedules[0].id) << c.what;
}

TEST(ScheduleDecision, WindowsInAnOrdinaryWeek) {
  const ZoneCalendar berlin = zone("Europe/Berlin");
  const auto mon = [&](int h, int mi, int s = 0) { return local(berlin, 2026, 1, 5, h, mi, s); };
  const Date tue0030 = local(berlin, 2026, 1, 6, 0, 30);
  const Date tue0900 = local(berlin, 2026, 1, 6, 9, 0);
  const Date lastMonday = local(berlin, 2025, 12, 29, 9, 0);
  const RecurringSchedule hour{"A", {2}, 540, 60, true};  // Mondays 09:00
  const RecurringSchedule tenMinutes{"A", {2}, 540, 10, true};
  const RecurringSchedule fiveMinutes{"A", {2}, 540, 5, true};
  const RecurringSchedule lateMonday{"A", {2}, 1380, 120, true};  // Mondays 23:00 to 01:00
  // Which schedules are valid is the schedule's own test; one of each kind is skipped here.
  const std::vector<RecurringSchedule> neverConsidered = {{"A", {2}, 540, 60, false},
                                                          {"B", {2}, 540, 4, true}};
  const std::optional<std::int64_t> none;

  // clang-format off
  const Case cases[] = {
      {"no schedules", {}, mon(9, 0), {}, none},
      {"disabled or invalid", neverConsidered, mon(9, 0, 30), {}, none},
      {"exactly at the start", {hour}, mon(9, 0), {}, 3600, mon(9, 0)},
      {"exactly at the end", {hour}, mon(10, 0), {}, none},
      {"60 s late is on time", {tenMinutes}, mon(9, 1, 0), {}, 540, mon(9, 0)},
      {"61 s late, 539 s left", {tenMinutes}, mon(9, 1, 1), {}, none},
      {"joined with 15 minutes left", {hour}, mon(9, 45), {}, 900, mon(9, 0)},
      {"joined with 14 minutes left", {hour}, mon(9, 46), {}, none},
      {"remaining truncates", {hour}, mon(9, 30) + std::chrono::milliseconds(500), {}, 1799, mon(9, 0)},
      {"short window raised to 300 s", {fiveMinutes}, mon(9, 0, 30), {}, 300, mon(9, 0)},
      {"began yesterday evening", {lateMonday}, tue0030, {}, 1800, mon(23, 0)},
      {"not on a Tuesday", {hour}, tue0900, {}, none},
      {"this window already fired", {hour}, mon(9, 10), {{"A", mon(9, 0)}}, none},
      {"an earlier window fired", {hour}, mon(9, 10), {{"A", lastMonday}}, 3000, mon(9, 0)},
      {"another schedule fired", {hour}, mon(9, 10), {{"B", mon(9, 0)}}, 3000, mon(9, 0)},
  };
  // clang-format on
  for (const Case& c : cases) check(berlin, c);
}

TEST(ScheduleDecision, OverlappingWindowsPreferTheLaterEndThenTheSmallerId) {
  const ZoneCalendar berlin = zone("Europe/Berlin");
  const Date now = local(berlin, 2026, 1, 5, 9, 20);
  const RecurringSchedule a{"A", {2}, 540, 60, true};
  const RecurringSchedule b{"B", {2}, 540, 60, true};
  const RecurringSchedule later{"Z", {2}, 555, 60, true};  // 09:15 to 10:15

  for (const auto& schedules : {std::vector{a, b}, std::vector{b, a}}) {
    EXPECT_EQ(decide(schedules, now, berlin)->scheduleID, "A");
  }
  for (const auto& schedules : {std::vector{a, later}, std::vector{later, a}}) {
    EXPECT_EQ(decide(schedules, now, berlin)->scheduleID, "Z");
  }
}

TEST(ScheduleDecision, StartTimesAcrossTransitions) {
  // Sundays 02:30 for two hours. Berlin skips 02:30 on 29 March (the window opens at 03:00
  // CEST, 01:00 UTC, and keeps its two hours) and has it twice on 25 October (the first, CEST,
  // counts; the second is the same window). Havana skips its own midnight on 8 March, so that
  // day and its midnight window begin at 01:00 CDT.
  const RecurringSchedule night{"A", {1}, 150, 120, true};
  const RecurringSchedule midnight{"M", {1}, 0, 60, true};
  const Date spring = utc(2026, 3, 29, 1, 0);
  const Date fall = utc(2026, 10, 25, 0, 30);
  const std::optional<std::int64_t> none;
  // clang-format off
  const Case berlinCases[] = {
      {"just before the gap ends", {night}, spring - std::chrono::seconds(1), {}, none},
      {"spring forward", {night}, spring, {}, 7200, spring},
      {"fall back", {night}, fall, {}, 7200, fall},
      {"the second 02:30", {night}, utc(2026, 10, 25, 1, 30), {{"A", fall}}, none},
  };
  // clang-format on
  for (const Case& c : berlinCases) check(zone("Europe/Berlin"), c);
  check(zone("America/Havana"),
        {"skipped midnight", {midnight}, utc(2026, 3, 8, 5, 10), {}, 3000, utc(2026, 3, 8, 5, 0)});
}

}  // namespace
}  // namespace nubrik
