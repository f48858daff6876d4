#include "core/recurring_schedule.hpp"

#include <algorithm>
#include <chrono>
#include <optional>

namespace nubrik {

namespace {

bool inRange(std::int64_t value, std::int64_t lowest, std::int64_t highest) {
  return value >= lowest && value <= highest;
}

json::Value parseArray(std::string_view bytes) {
  json::Value value;
  try {
    value = json::Value::parse(bytes.begin(), bytes.end(), nullptr, true, false);
  } catch (const json::Value::exception& error) {
    throw DecodingError(std::string("not JSON: ") + error.what());
  }
  if (!value.is_array()) throw DecodingError("not a JSON array");
  return value;
}

std::vector<RecurringSchedule> decodeScheduleArray(const json::Value& array) {
  std::vector<RecurringSchedule> schedules;
  schedules.reserve(array.size());
  for (std::size_t index = 0; index < array.size(); ++index) {
    schedules.push_back(json::withContext("schedules[" + std::to_string(index) + "]",
                                          [&] { return decodeSchedule(array[index]); }));
  }
  return schedules;
}

json::OrderedValue scheduleArrayValue(const std::vector<RecurringSchedule>& schedules) {
  json::OrderedValue array = json::OrderedValue::array();
  for (const RecurringSchedule& schedule : schedules) array.push_back(scheduleValue(schedule));
  return array;
}

struct Candidate {
  const RecurringSchedule* schedule;
  Date windowStart;
  Date windowEnd;
  std::int64_t remaining;
};

// The window that ends last wins; among equal ends the smaller id (std::string compares bytes
// as unsigned, which for UTF-8 is the order of the code points).
bool replacesBest(const Candidate& candidate, const Candidate& best) {
  if (candidate.windowEnd != best.windowEnd) return candidate.windowEnd > best.windowEnd;
  return candidate.schedule->id < best.schedule->id;
}

}  // namespace

bool RecurringSchedule::isValid() const {
  if (id.empty() || weekdays.empty()) return false;
  const bool weekdaysInRange = std::all_of(weekdays.begin(), weekdays.end(),
                                           [](std::int64_t day) { return inRange(day, 1, 7); });
  return weekdaysInRange && inRange(startMinute, 0, 1439) && inRange(durationMinutes, 5, 1440);
}

json::OrderedValue scheduleValue(const RecurringSchedule& schedule) {
  json::OrderedValue weekdays = json::OrderedValue::array();
  for (const std::int64_t day : schedule.weekdays) weekdays.push_back(day);
  json::OrderedValue value = json::OrderedValue::object();
  value["id"] = schedule.id;
  value["weekdays"] = std::move(weekdays);
  value["startMinute"] = schedule.startMinute;
  value["durationMinutes"] = schedule.durationMinutes;
  value["isEnabled"] = schedule.isEnabled;
  return value;
}

RecurringSchedule decodeSchedule(const json::Value& value) {
  const json::Value& object = json::asObject(value, "schedule");
  RecurringSchedule schedule;
  schedule.id = json::requiredString(object, "id");
  const json::Value& weekdays = json::requiredArray(object, "weekdays");
  for (std::size_t index = 0; index < weekdays.size(); ++index) {
    schedule.weekdays.insert(
        json::asInt64(weekdays[index], "\"weekdays\"[" + std::to_string(index) + "]"));
  }
  schedule.startMinute = json::requiredInt64(object, "startMinute");
  schedule.durationMinutes = json::requiredInt64(object, "durationMinutes");
  schedule.isEnabled = json::requiredBool(object, "isEnabled");
  return schedule;
}

std::string encodeSchedules(const std::vector<RecurringSchedule>& schedules) {
  return json::dumpCompact(scheduleArrayValue(schedules));
}

std::vector<RecurringSchedule> decodeSchedules(std::string_view bytes) {
  return decodeScheduleArray(parseArray(bytes));
}

std::string encodeScheduleState(const ScheduleState& state) {
  json::OrderedValue fired = json::OrderedValue::object();
  for (const auto& [id, windowStart] : state.firedWindows) fired[id] = json::dateValue(windowStart);
  json::OrderedValue value = json::OrderedValue::object();
  value["schedules"] = scheduleArrayValue(state.schedules);
  value["firedWindows"] = std::move(fired);
  return json::dumpCompact(value);
}

ScheduleState decodeScheduleState(std::string_view bytes) {
  const json::Value object = json::parseObject(bytes);
  ScheduleState state;
  state.schedules = decodeScheduleArray(json::requiredArray(object, "schedules"));
  for (const auto& [id, windowStart] : json::requiredObject(object, "firedWindows").items()) {
    state.firedWindows[id] = json::asDate(windowStart, "\"firedWindows\".\"" + id + "\"");
  }
  return state;
}

ScheduleDecision scheduleDecision(const std::vector<RecurringSchedule>& schedules, Date now,
                                  const Calendar& calendar,
                                  const std::map<std::string, Date>& firedWindows) {
  using std::chrono::seconds;

  const Date todayStart = calendar.startOfDay(now);
  const std::optional<Date> yesterdayStart = calendar.addingDays(-1, todayStart);
  if (!yesterdayStart) return ScheduleNone{};

  std::optional<Candidate> best;
  for (const RecurringSchedule& schedule : schedules) {
    if (!schedule.isEnabled || !schedule.isValid()) continue;
    const int hour = static_cast<int>(schedule.startMinute / 60);
    const int minute = static_cast<int>(schedule.startMinute % 60);
    const seconds length(schedule.durationMinutes * 60);

    // Yesterday too: a window that began before midnight may still run.
    for (const Date dayStart : {todayStart, *yesterdayStart}) {
      if (!schedule.weekdays.contains(calendar.weekday(dayStart))) continue;
      const std::optional<Date> windowStart = calendar.dateBySettingTime(hour, minute, 0, dayStart);
      if (!windowStart) continue;
      // Absolute time: a transition inside the window does not change its length.
      const Date windowEnd = *windowStart + length;
      if (!(*windowStart <= now && now < windowEnd)) continue;

      const auto fired = firedWindows.find(schedule.id);
      if (fired != firedWindows.end() && fired->second == *windowStart) continue;

      // Truncated toward zero, as whole seconds of session.
      const std::int64_t remaining = std::chrono::duration_cast<seconds>(windowEnd - now).count();
      const bool onTime = now - *windowStart <= seconds(scheduleOnTimeGraceSeconds);
      // Joined late (the machine slept through the start, say): only worth a session when
      // enough of the window is left.
      if (!onTime && remaining < scheduleMinimumRemainingSeconds) continue;

      const Candidate candidate{&schedule, *windowStart, windowEnd, remaining};
      if (!best || replacesBest(candidate, *best)) best = candidate;
    }
  }

  if (!best) return ScheduleNone{};
  return ScheduleStart{
      .durationSeconds =
          std::clamp(best->remaining, scheduleMinimumSessionSeconds, scheduleMaximumSessionSeconds),
      .windowStart = best->windowStart,
      .windowEnd = best->windowEnd,
      .scheduleID = best->schedule->id,
  };
}

}  // namespace nubrik
