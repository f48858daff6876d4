#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "core/recurring_schedule.hpp"

namespace nubrik {

// The most schedules a user may keep; the helper refuses more.
inline constexpr std::size_t scheduleMaxCount = 20;

// What the user's locale says about weeks. The window passes the locale's values; weekdays are
// numbered as in a schedule, 1 = Sunday ... 7 = Saturday, whatever day the week starts on.
struct CalendarLocale {
  // The short name of each weekday: [0] is Sunday's ... [6] is Saturday's.
  std::array<std::string, 7> shortWeekdayNames;
  // The day a week starts on, 1 ... 7.
  int firstWeekday = 1;

  // English names with Sunday first: for the command line and where no locale is at hand.
  static CalendarLocale english();
  // The short name of a weekday 1 ... 7; empty for anything else.
  std::string_view shortName(std::int64_t weekday) const;
};

// The seven weekdays in the order a week is shown, starting at `firstWeekday` (out-of-range values
// count as Sunday).
std::array<int, 7> weekdaysInWeekOrder(int firstWeekday);

// The schedule open in the edit form, and whether it is new (not yet in the list).
struct ScheduleDraft {
  RecurringSchedule schedule;
  bool isNew = false;
  bool operator==(const ScheduleDraft&) const = default;
};

// Where the editor is: waiting for the helper's list, unable to get it (with the reason), or
// editing the working list.
struct ScheduleEditorPhase {
  enum class Kind { loadFailed, loading, editing };
  Kind kind = Kind::loading;
  // loadFailed.
  std::string message;

  bool operator==(const ScheduleEditorPhase&) const = default;
  static ScheduleEditorPhase loadFailed(std::string message);
  static ScheduleEditorPhase loading();
  static ScheduleEditorPhase editing();
};

// A start minute (or any minute of the day) as the window shows it. The window formats it in the
// locale's short time style; tests pass a fixed format.
using MinuteString = std::function<std::string(std::int64_t minute)>;

// An enabled schedule for Monday to Friday, 09:00, for an hour.
RecurringSchedule makeDefaultSchedule(std::string id);

// Why the list cannot be saved, checked in this order: more than scheduleMaxCount, a shared id, a
// schedule that is not valid. None when it can be saved.
std::optional<std::string> scheduleListError(const std::vector<RecurringSchedule>& schedules);

// The list with the schedule of the same id replaced in place, or the schedule appended.
std::vector<RecurringSchedule> scheduleListApplying(const RecurringSchedule& schedule,
                                                    std::vector<RecurringSchedule> schedules);

// "Every day", "Weekdays", "Weekends", or the short names of the days in week order joined with
// ", ".
std::string scheduleDaysText(const std::set<std::int64_t>& weekdays, const CalendarLocale& locale);

// "45 min", "2 h", "1 h 30 min".
std::string scheduleDurationText(std::int64_t minutes);

// The hour and minute of a minute of the day, for the window's locale-aware formatting.
struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  bool operator==(const TimeOfDay&) const = default;
};
// Minutes outside 0...1439 wrap around midnight.
TimeOfDay scheduleTimeOfDay(std::int64_t minute);

// "Weekdays · 9:00 AM · 1 h" (the time from minuteString).
std::string scheduleSummary(const RecurringSchedule& schedule, const CalendarLocale& locale,
                            const MinuteString& minuteString);

// "Back online at <end>", with " the next day" when the window runs past midnight.
std::string scheduleEndText(std::int64_t startMinute, std::int64_t durationMinutes,
                            const MinuteString& minuteString);

// The start moved to the next multiple of 5 above it, or down to the multiple of 5 below it,
// wrapping around midnight into 0...1439.
std::int64_t steppedScheduleStart(std::int64_t minute, bool increase);

// A typed start time as a minute of the day: "9", "930", "0930", "21:15", "9pm", "9:30 am", ...;
// none when the text is not a time of day.
std::optional<std::int64_t> parseScheduleTime(std::string_view text);

// The editable forms of the two value rows: "%02d:%02d" for the start, "%d:%02d" for the duration.
std::string scheduleStartEditText(std::int64_t minute);
std::string scheduleDurationEditText(std::int64_t minutes);

// True only while editing and not saving, when the list differs from the loaded one (in order)
// and has no error.
bool scheduleSaveIsEnabled(const ScheduleEditorPhase& phase,
                           const std::vector<RecurringSchedule>& list, bool saving,
                           const std::vector<RecurringSchedule>& loaded);

// True when saving `updated` over `old` would start a session at once: a new or changed schedule
// (not one that is merely still there) has a window that the schedule decision starts now.
bool scheduleSaveStartsSession(const std::vector<RecurringSchedule>& old,
                               const std::vector<RecurringSchedule>& updated, Date now,
                               const Calendar& calendar);

}  // namespace nubrik
