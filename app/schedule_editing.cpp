#include "app/schedule_editing.hpp"

#include <charconv>
#include <cstdio>
#include <utility>
#include <variant>

#include "app/duration.hpp"
#include "app/schedule_editing_texts.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

namespace {

constexpr std::int64_t minutesPerDay = 1440;

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

std::int64_t wrapMinute(std::int64_t minute) {
  return minute - floorDiv(minute, minutesPerDay) * minutesPerDay;
}

std::string_view trimSpacesAndTabs(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string twoDigitClock(const char* format, std::int64_t hours, std::int64_t minutes) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, format, static_cast<long long>(hours),
                static_cast<long long>(minutes));
  return buffer;
}

}  // namespace

CalendarLocale CalendarLocale::english() {
  return CalendarLocale{{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}, 1};
}

std::string_view CalendarLocale::shortName(std::int64_t weekday) const {
  if (weekday < 1 || weekday > 7) return {};
  return shortWeekdayNames[static_cast<std::size_t>(weekday - 1)];
}

std::array<int, 7> weekdaysInWeekOrder(int firstWeekday) {
  const int first = (firstWeekday >= 1 && firstWeekday <= 7) ? firstWeekday : 1;
  std::array<int, 7> order{};
  for (int i = 0; i < 7; ++i) order[static_cast<std::size_t>(i)] = (first - 1 + i) % 7 + 1;
  return order;
}

ScheduleEditorPhase ScheduleEditorPhase::loadFailed(std::string message) {
  return {Kind::loadFailed, std::move(message)};
}
ScheduleEditorPhase ScheduleEditorPhase::loading() {
  return {Kind::loading, {}};
}
ScheduleEditorPhase ScheduleEditorPhase::editing() {
  return {Kind::editing, {}};
}

RecurringSchedule makeDefaultSchedule(std::string id) {
  return RecurringSchedule{std::move(id), {2, 3, 4, 5, 6}, 540, 60, true};
}

std::optional<std::string> scheduleListError(const std::vector<RecurringSchedule>& schedules) {
  if (schedules.size() > scheduleMaxCount) {
    return std::string(scheduleDefaultMessage(ScheduleResultCode::tooMany));
  }
  std::set<std::string_view> ids;
  for (const auto& schedule : schedules) {
    if (!ids.insert(schedule.id).second) {
      return std::string(scheduleDefaultMessage(ScheduleResultCode::duplicate));
    }
  }
  for (const auto& schedule : schedules) {
    if (!schedule.isValid())
      return std::string(scheduleDefaultMessage(ScheduleResultCode::invalid));
  }
  return std::nullopt;
}

std::vector<RecurringSchedule> scheduleListApplying(const RecurringSchedule& schedule,
                                                    std::vector<RecurringSchedule> schedules) {
  for (auto& existing : schedules) {
    if (existing.id == schedule.id) {
      existing = schedule;
      return schedules;
    }
  }
  schedules.push_back(schedule);
  return schedules;
}

std::string scheduleDaysText(const std::set<std::int64_t>& weekdays, const CalendarLocale& locale) {
  if (weekdays == std::set<std::int64_t>{1, 2, 3, 4, 5, 6, 7}) {
    return std::string(schedule_texts::everyDay);
  }
  if (weekdays == std::set<std::int64_t>{2, 3, 4, 5, 6}) {
    return std::string(schedule_texts::weekdays);
  }
  if (weekdays == std::set<std::int64_t>{1, 7}) return std::string(schedule_texts::weekends);
  std::string text;
  for (int weekday : weekdaysInWeekOrder(locale.firstWeekday)) {
    if (!weekdays.contains(weekday)) continue;
    if (!text.empty()) text += ", ";
    text += locale.shortName(weekday);
  }
  return text;
}

std::string scheduleDurationText(std::int64_t minutes) {
  if (minutes < 60) return std::to_string(minutes) + " min";
  const std::int64_t hours = minutes / 60;
  const std::int64_t rest = minutes % 60;
  if (rest == 0) return std::to_string(hours) + " h";
  return std::to_string(hours) + " h " + std::to_string(rest) + " min";
}

TimeOfDay scheduleTimeOfDay(std::int64_t minute) {
  const std::int64_t wrapped = wrapMinute(minute);
  return TimeOfDay{static_cast<int>(wrapped / 60), static_cast<int>(wrapped % 60)};
}

std::string scheduleSummary(const RecurringSchedule& schedule, const CalendarLocale& locale,
                            const MinuteString& minuteString) {
  std::string text = scheduleDaysText(schedule.weekdays, locale);
  text += schedule_texts::summarySeparator;
  text += minuteString(schedule.startMinute);
  text += schedule_texts::summarySeparator;
  text += scheduleDurationText(schedule.durationMinutes);
  return text;
}

std::string scheduleEndText(std::int64_t startMinute, std::int64_t durationMinutes,
                            const MinuteString& minuteString) {
  const std::int64_t end = startMinute + durationMinutes;
  std::string text(schedule_texts::backOnlineAt);
  text += minuteString(wrapMinute(end));
  if (end >= minutesPerDay) text += schedule_texts::nextDay;
  return text;
}

std::int64_t steppedScheduleStart(std::int64_t minute, bool increase) {
  std::int64_t stepped;
  if (increase) {
    stepped = (floorDiv(minute, 5) + 1) * 5;
  } else {
    stepped = floorDiv(minute, 5) * 5;
    if (stepped == minute) stepped -= 5;
  }
  return wrapMinute(stepped);
}

std::optional<std::int64_t> parseScheduleTime(std::string_view typed) {
  std::string text(trimSpacesAndTabs(typed));
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  std::optional<char> meridiem;
  if (text.ends_with("am") || text.ends_with("pm")) {
    meridiem = text[text.find_first_of("ap")];
    text = std::string(trimSpacesAndTabs(std::string_view(text).substr(0, text.size() - 2)));
  }

  std::int64_t hours = 0;
  std::int64_t minutes = 0;
  if (const auto colon = text.find(':'); colon != std::string::npos) {
    const auto hourPart = parseInteger(std::string_view(text).substr(0, colon));
    const auto minutePart = parseInteger(std::string_view(text).substr(colon + 1));
    if (!hourPart || !minutePart) return std::nullopt;
    if (*minutePart < 0 || *minutePart > 59 || *hourPart < 0) return std::nullopt;
    hours = *hourPart;
    minutes = *minutePart;
  } else {
    if (text.empty() || text.size() > 4) return std::nullopt;
    const auto number = parseInteger(text);
    if (!number || *number < 0) return std::nullopt;
    if (text.size() <= 2) {
      hours = *number;
    } else {
      hours = *number / 100;
      minutes = *number % 100;
      if (minutes >= 60) return std::nullopt;
    }
  }

  if (!meridiem) {
    if (hours > 23) return std::nullopt;
    return hours * 60 + minutes;
  }
  if (hours < 1 || hours > 12) return std::nullopt;
  const std::int64_t clockHours = hours == 12 ? 0 : hours;
  return ((*meridiem == 'p' ? 12 : 0) + clockHours) * 60 + minutes;
}

std::string scheduleStartEditText(std::int64_t minute) {
  const TimeOfDay time = scheduleTimeOfDay(minute);
  return twoDigitClock("%02lld:%02lld", time.hour, time.minute);
}

std::string scheduleDurationEditText(std::int64_t minutes) {
  return twoDigitClock("%lld:%02lld", minutes / 60, minutes % 60);
}

bool scheduleSaveIsEnabled(const ScheduleEditorPhase& phase,
                           const std::vector<RecurringSchedule>& list, bool saving,
                           const std::vector<RecurringSchedule>& loaded) {
  return phase.kind == ScheduleEditorPhase::Kind::editing && !saving && list != loaded &&
         !scheduleListError(list);
}

bool scheduleSaveStartsSession(const std::vector<RecurringSchedule>& old,
                               const std::vector<RecurringSchedule>& updated, Date now,
                               const Calendar& calendar) {
  std::vector<RecurringSchedule> changed;
  for (const auto& schedule : updated) {
    const RecurringSchedule* before = nullptr;
    for (const auto& candidate : old) {
      if (candidate.id == schedule.id) {
        before = &candidate;
        break;
      }
    }
    if (before == nullptr || !(*before == schedule)) changed.push_back(schedule);
  }
  // The app has no record of windows already taken up: a changed schedule is judged afresh.
  return std::holds_alternative<ScheduleStart>(scheduleDecision(changed, now, calendar, {}));
}

}  // namespace nubrik
