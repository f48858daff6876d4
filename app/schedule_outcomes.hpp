#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/recurring_schedule.hpp"

namespace nubrik {

// The app's reading of a schedule read.
struct ScheduleLoadOutcome {
  enum class Kind { loaded, failed, helperUnavailable };
  Kind kind = Kind::helperUnavailable;
  // loaded.
  std::vector<RecurringSchedule> schedules;
  // failed.
  std::string message;

  bool operator==(const ScheduleLoadOutcome&) const = default;
  static ScheduleLoadOutcome loaded(std::vector<RecurringSchedule> schedules);
  static ScheduleLoadOutcome failed(std::string message);
  static ScheduleLoadOutcome helperUnavailable();
};

// The app's reading of a schedule save.
struct ScheduleSaveOutcome {
  enum class Kind { refused, saved, helperUnavailable };
  Kind kind = Kind::helperUnavailable;
  // refused.
  std::string message;

  bool operator==(const ScheduleSaveOutcome&) const = default;
  static ScheduleSaveOutcome refused(std::string message);
  static ScheduleSaveOutcome saved();
  static ScheduleSaveOutcome helperUnavailable();
};

// The text of a schedule read whose code-0 payload cannot be decoded.
inline constexpr std::string_view scheduleUnexpectedFormatMessage =
    "The helper returned schedules in an unexpected format.";

// Code 0 -> loaded(the decoded payload), or failed(unexpected format) when it does not decode;
// a code outside the schedule codes -> failed(unrecognized); any other code -> failed(the message,
// or that code's text when it is empty).
ScheduleLoadOutcome scheduleLoadOutcome(std::int64_t code, std::string_view payload,
                                        std::string_view message);
// Code 0 -> saved; a code outside the schedule codes -> refused(unrecognized); any other code ->
// refused(the message, or that code's text when it is empty).
ScheduleSaveOutcome scheduleSaveOutcome(std::int64_t code, std::string_view message);

// The schedule payload for a save: none when the list cannot be encoded or its encoding is longer
// than scheduleMaxPayloadBytes, since the helper would refuse it anyway.
std::optional<std::string> encodeSchedulesPayload(const std::vector<RecurringSchedule>& schedules);

// Default textual forms, e.g. `failed(message: "Schedules saved.")`, `loaded(count: 2)`.
std::string describe(const ScheduleLoadOutcome& outcome);
std::string describe(const ScheduleSaveOutcome& outcome);
std::ostream& operator<<(std::ostream& out, const ScheduleLoadOutcome& outcome);
std::ostream& operator<<(std::ostream& out, const ScheduleSaveOutcome& outcome);

}  // namespace nubrik
