#include "app/schedule_editing.hpp"

#include <cctz/civil_time.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace nubrik {
namespace {

ZoneCalendar zone(const std::string& name) {
  std::optional<ZoneCalendar> calendar = ZoneCalendar::named(name);
  if (!calendar) throw std::runtime_error("time zone missing: " + name);
  return *calendar;
}

Date local(const ZoneCalendar& calendar, int y, int mo, int d, int h, int mi, int s = 0) {
  return Date(std::chrono::duration_cast<Date::duration>(
      cctz::convert(cctz::civil_second(y, mo, d, h, mi, s), calendar.zone()).time_since_epoch()));
}

std::string clock24(std::int64_t minute) {
  return scheduleStartEditText(minute);
}

RecurringSchedule schedule(std::string id, std::set<std::int64_t> weekdays = {2},
                           std::int64_t start = 540, std::int64_t duration = 60,
                           bool enabled = true) {
  return RecurringSchedule{std::move(id), std::move(weekdays), start, duration, enabled};
}

TEST(ScheduleTime, ParserTable) {
  const std::optional<std::int64_t> no;
  // Only spaces and tabs are blanks.
  const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
      {"9", 540},      {"2359", 1439},      {"21:15", 1275},
      {"9:5", 545},    {"9pm", 1260},       {"12am", 0},
      {"12pm", 720},   {" 9:30 Am\t", 570}, {"11:59pm", 1439},
      {"24", no},      {"13pm", no},        {"0am", no},
      {"2400", no},    {"12345", no},       {"9:60", no},
      {"13:00pm", no}, {"9:", no},          {"9.30", no},
      {"", no},        {"9\n", no},         {"99999999999999999999:00", no}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parseScheduleTime(text), expected) << '"' << text << '"';
  }
}

TEST(ScheduleTime, EditableTexts) {
  EXPECT_EQ(scheduleStartEditText(540), "09:00");
  EXPECT_EQ(scheduleStartEditText(1439), "23:59");
  EXPECT_EQ(scheduleDurationEditText(75), "1:15");
  EXPECT_EQ(scheduleDurationEditText(5), "0:05");
  EXPECT_EQ(scheduleDurationEditText(1440), "24:00");
  EXPECT_EQ(scheduleTimeOfDay(1275), (TimeOfDay{21, 15}));
  EXPECT_EQ(scheduleTimeOfDay(1440), (TimeOfDay{0, 0}));
  EXPECT_EQ(scheduleTimeOfDay(-5), (TimeOfDay{23, 55}));
}

TEST(ScheduleTime, SteppingMovesToTheNextMultipleOfFiveAndWrapsAtMidnight) {
  struct Case {
    std::int64_t minute;
    bool increase;
    std::int64_t expected;
  };
  const std::vector<Case> cases = {{0, false, 1435},  {1437, true, 0},  {542, false, 540},
                                   {540, false, 535}, {542, true, 545}, {5, false, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(steppedScheduleStart(c.minute, c.increase), c.expected)
        << c.minute << (c.increase ? " up" : " down");
  }
}

TEST(ScheduleTexts, EndTextSaysWhenTheWindowRunsIntoTheNextDay) {
  struct Case {
    std::int64_t start;
    std::int64_t duration;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {1380, 120, "Back online at 01:00 the next day"},
      {540, 60, "Back online at 10:00"},
      {0, 1440, "Back online at 00:00 the next day"},
      {1439, 1440, "Back online at 23:59 the next day"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduleEndText(c.start, c.duration, clock24), c.expected)
        << c.start << "+" << c.duration;
  }
}

TEST(ScheduleTexts, DurationText) {
  const std::vector<std::pair<std::int64_t, std::string>> cases = {
      {59, "59 min"}, {60, "1 h"}, {61, "1 h 1 min"}, {1440, "24 h"}};
  for (const auto& [minutes, expected] : cases) {
    EXPECT_EQ(scheduleDurationText(minutes), expected) << minutes;
  }
}

TEST(ScheduleTexts, DaysTextNamesTheDaysInTheLocalesWeekOrder) {
  CalendarLocale mondayFirst = CalendarLocale::english();
  mondayFirst.firstWeekday = 2;
  CalendarLocale german{{"So.", "Mo.", "Di.", "Mi.", "Do.", "Fr.", "Sa."}, 2};
  struct Case {
    std::set<std::int64_t> weekdays;
    CalendarLocale locale;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3, 4, 5, 6, 7}, mondayFirst, "Every day"},
      {{2, 3, 4, 5, 6}, CalendarLocale::english(), "Weekdays"},
      {{1, 7}, mondayFirst, "Weekends"},
      {{2, 4}, CalendarLocale::english(), "Mon, Wed"},
      {{1, 2}, mondayFirst, "Mon, Sun"},
      {{1, 2, 7}, german, "Mo., Sa., So."},
      {{}, CalendarLocale::english(), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduleDaysText(c.weekdays, c.locale), c.expected) << c.expected;
  }
  EXPECT_EQ(weekdaysInWeekOrder(2), (std::array<int, 7>{2, 3, 4, 5, 6, 7, 1}));
  EXPECT_EQ(weekdaysInWeekOrder(7), (std::array<int, 7>{7, 1, 2, 3, 4, 5, 6}));
}

TEST(ScheduleList, DefaultScheduleIsWeekdayMorningsForAnHour) {
  EXPECT_EQ(makeDefaultSchedule("X"), (RecurringSchedule{"X", {2, 3, 4, 5, 6}, 540, 60, true}));
  EXPECT_TRUE(makeDefaultSchedule("X").isValid());
}

TEST(ScheduleList, ErrorsInTheirOrder) {
  std::vector<RecurringSchedule> twenty;
  for (int i = 0; i < 20; ++i) twenty.push_back(schedule("S" + std::to_string(i)));
  auto twentyOneWithTwins = twenty;
  twentyOneWithTwins.push_back(schedule("S0"));

  struct Case {
    std::string name;
    std::vector<RecurringSchedule> list;
    std::optional<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"empty", {}, std::nullopt},
      {"twenty", twenty, std::nullopt},
      {"21 with twins", twentyOneWithTwins, "Too many schedules (maximum 20)."},
      {"twins", {schedule("A"), schedule("A", {3})}, "Two schedules share the same identifier."},
      {"twins before invalid",
       {schedule("A", {}), schedule("A")},
       "Two schedules share the same identifier."},
      {"no day", {schedule("A", {})}, "The schedules were not valid."},
      {"disabled but invalid", {schedule("A", {8}, 0, 60, false)}, "The schedules were not valid."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduleListError(c.list), c.expected) << c.name;
  }
}

TEST(ScheduleList, ApplyingReplacesInPlaceOrAppends) {
  const std::vector<RecurringSchedule> list = {schedule("A"), schedule("B"), schedule("C")};
  const auto changedB = schedule("B", {1}, 0, 5, false);
  EXPECT_EQ(scheduleListApplying(changedB, list),
            (std::vector<RecurringSchedule>{schedule("A"), changedB, schedule("C")}));
  EXPECT_EQ(
      scheduleListApplying(schedule("D"), list),
      (std::vector<RecurringSchedule>{schedule("A"), schedule("B"), schedule("C"), schedule("D")}));
}

TEST(ScheduleSave, EnabledOnlyForAChangedValidListWhileEditingAndNotSaving) {
  const std::vector<RecurringSchedule> loaded = {schedule("A"), schedule("B")};
  const std::vector<RecurringSchedule> changed = {schedule("A"), schedule("B", {3})};
  const std::vector<RecurringSchedule> reordered = {schedule("B"), schedule("A")};
  const std::vector<RecurringSchedule> twins = {schedule("A"), schedule("A", {3})};
  const std::vector<RecurringSchedule> invalid = {schedule("A"), schedule("B", {})};
  struct Case {
    std::string name;
    ScheduleEditorPhase phase;
    std::vector<RecurringSchedule> list;
    bool saving;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"changed", ScheduleEditorPhase::editing(), changed, false, true},
      {"reordered", ScheduleEditorPhase::editing(), reordered, false, true},
      {"unchanged", ScheduleEditorPhase::editing(), loaded, false, false},
      {"saving", ScheduleEditorPhase::editing(), changed, true, false},
      {"loading", ScheduleEditorPhase::loading(), changed, false, false},
      {"twins", ScheduleEditorPhase::editing(), twins, false, false},
      {"invalid", ScheduleEditorPhase::editing(), invalid, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduleSaveIsEnabled(c.phase, c.list, c.saving, loaded), c.expected) << c.name;
  }
}

TEST(ScheduleSave, WarnsOnlyWhenANewOrChangedScheduleStartsASessionNow) {
  const ZoneCalendar berlin = zone("Europe/Berlin");
  // Monday 2026-03-02, 09:20 in Berlin: a Monday 09:00 window of an hour is 20 minutes old.
  const Date now = local(berlin, 2026, 3, 2, 9, 20);
  ASSERT_EQ(berlin.weekday(now), 2);

  const auto openNow = schedule("A", {2}, 540, 60, true);
  const auto openNowDisabled = schedule("A", {2}, 540, 60, false);
  const auto closedNow = schedule("B", {3}, 540, 60, true);
  const auto nearlyOver = schedule("C", {2}, 540, 30, true);  // 10 minutes remain: too late
  const auto justStarted = schedule("D", {2}, 560, 5, true);  // began this minute

  struct Case {
    std::string name;
    std::vector<RecurringSchedule> old;
    std::vector<RecurringSchedule> updated;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"re-enabled, window open", {openNowDisabled}, {openNow}, true},
      {"new, window open", {}, {openNow}, true},
      {"new id for the same window", {openNow}, {schedule("A2", {2}, 540, 60, true)}, true},
      {"lengthened, window open", {schedule("A", {2}, 540, 30)}, {openNow}, true},
      {"unchanged, window open", {openNow}, {openNow}, false},
      {"unchanged open one beside a change",
       {openNow, closedNow},
       {openNow, schedule("B", {4})},
       false},
      {"disabled", {openNow}, {openNowDisabled}, false},
      {"deleted", {openNow}, {}, false},
      {"new, window closed", {}, {closedNow}, false},
      {"re-enabled, too little left", {schedule("C", {2}, 540, 30, false)}, {nearlyOver}, false},
      {"new, on time although short", {}, {justStarted}, true},
      {"new but invalid", {}, {schedule("", {2})}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scheduleSaveStartsSession(c.old, c.updated, now, berlin), c.expected) << c.name;
  }
}

TEST(ScheduleSave, AWindowFromYesterdayThatStillRunsCounts) {
  const ZoneCalendar utc(cctz::utc_time_zone());
  // Tuesday 00:30; the Monday 23:00 window of two hours is still open.
  const Date now = local(utc, 2026, 3, 3, 0, 30);
  EXPECT_TRUE(scheduleSaveStartsSession({}, {schedule("A", {2}, 1380, 120)}, now, utc));
  EXPECT_FALSE(scheduleSaveStartsSession({}, {schedule("A", {3}, 1380, 120)}, now, utc));
}

}  // namespace
}  // namespace nubrik
