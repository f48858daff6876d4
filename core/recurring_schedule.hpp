#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "core/json_fields.hpp"

namespace nubrik {

// A window joined late starts a session only when at least this many seconds of it remain.
inline constexpr std::int64_t scheduleMinimumRemainingSeconds = 900;
// A window joined at most this many seconds after its start is on time, whatever remains.
inline constexpr std::int64_t scheduleOnTimeGraceSeconds = 60;
// The shortest session a schedule starts.
inline constexpr std::int64_t scheduleMinimumSessionSeconds = 300;
// The longest session a schedule starts.
inline constexpr std::int64_t scheduleMaximumSessionSeconds = 86400;

// A weekly offline window: on the chosen weekdays, from a local wall-clock minute, for a number
// of minutes.
struct RecurringSchedule {
  std::string id;
  // 1 = Sunday ... 7 = Saturday, whatever the locale's first day of the week.
  std::set<std::int64_t> weekdays;
  // Minutes after local midnight, 0 to 1439.
  std::int64_t startMinute = 0;
  // 5 to 1440.
  std::int64_t durationMinutes = 0;
  bool isEnabled = false;

  bool operator==(const RecurringSchedule&) const = default;

  // A non-empty id, at least one weekday, every weekday 1 to 7, a start minute 0 to 1439 and a
  // duration 5 to 1440 minutes. Does not look at isEnabled.
  bool isValid() const;
};

// One schedule as a JSON object with the keys "id", "weekdays", "startMinute",
// "durationMinutes", "isEnabled".
json::OrderedValue scheduleValue(const RecurringSchedule& schedule);
// Strict decode of one schedule object (all five keys required; validity is not checked).
// Throws DecodingError.
RecurringSchedule decodeSchedule(const json::Value& value);

// The schedule payload exchanged with the application: a JSON array of schedule objects.
std::string encodeSchedules(const std::vector<RecurringSchedule>& schedules);
// Throws DecodingError when the bytes are not one JSON array of schedule objects.
std::vector<RecurringSchedule> decodeSchedules(std::string_view bytes);

// The daemon's persisted schedule record.
struct ScheduleState {
  // In saved order.
  std::vector<RecurringSchedule> schedules;
  // For each schedule id, the start of the latest window taken up for a session start.
  std::map<std::string, Date> firedWindows;

  bool operator==(const ScheduleState&) const = default;
};

// {"schedules":[...],"firedWindows":{"<id>":<seconds since 2001>,...}}, compact.
std::string encodeScheduleState(const ScheduleState& state);
// Both keys required; throws DecodingError.
ScheduleState decodeScheduleState(std::string_view bytes);

// A session of durationSeconds must start now for the window of scheduleID that runs from
// windowStart to windowEnd.
struct ScheduleStart {
  std::int64_t durationSeconds = 0;
  Date windowStart;
  Date windowEnd;
  std::string scheduleID;
  bool operator==(const ScheduleStart&) const = default;
};

// No schedule starts now.
struct ScheduleNone {
  bool operator==(const ScheduleNone&) const = default;
};

using ScheduleDecision = std::variant<ScheduleNone, ScheduleStart>;

// Whether a session must start now, and for which window. Pure: reads no clock of its own. A
// window already recorded in firedWindows under its schedule's id never starts a second session;
// among current windows the one that ends last wins, ties going to the smaller id.
ScheduleDecision scheduleDecision(const std::vector<RecurringSchedule>& schedules, Date now,
                                  const Calendar& calendar,
                                  const std::map<std::string, Date>& firedWindows);

}  // namespace nubrik
