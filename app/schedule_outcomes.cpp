#include "app/schedule_outcomes.hpp"

#include <exception>
#include <utility>

#include "core/nubrik_xpc.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

namespace {

std::string messageOr(std::string_view message, std::string_view fallback) {
  return std::string(message.empty() ? fallback : message);
}

}  // namespace

ScheduleLoadOutcome ScheduleLoadOutcome::loaded(std::vector<RecurringSchedule> schedules) {
  return {Kind::loaded, std::move(schedules), {}};
}
ScheduleLoadOutcome ScheduleLoadOutcome::failed(std::string message) {
  return {Kind::failed, {}, std::move(message)};
}
ScheduleLoadOutcome ScheduleLoadOutcome::helperUnavailable() {
  return {Kind::helperUnavailable, {}, {}};
}

ScheduleSaveOutcome ScheduleSaveOutcome::refused(std::string message) {
  return {Kind::refused, std::move(message)};
}
ScheduleSaveOutcome ScheduleSaveOutcome::saved() {
  return {Kind::saved, {}};
}
ScheduleSaveOutcome ScheduleSaveOutcome::helperUnavailable() {
  return {Kind::helperUnavailable, {}};
}

ScheduleLoadOutcome scheduleLoadOutcome(std::int64_t code, std::string_view payload,
                                        std::string_view message) {
  const auto known = scheduleResultCodeFromRaw(code);
  if (!known) return ScheduleLoadOutcome::failed(std::string(unrecognizedResponseMessage));
  if (*known != ScheduleResultCode::accepted) {
    return ScheduleLoadOutcome::failed(messageOr(message, scheduleDefaultMessage(*known)));
  }
  try {
    return ScheduleLoadOutcome::loaded(decodeSchedules(payload));
  } catch (const std::exception&) {
    return ScheduleLoadOutcome::failed(std::string(scheduleUnexpectedFormatMessage));
  }
}

ScheduleSaveOutcome scheduleSaveOutcome(std::int64_t code, std::string_view message) {
  const auto known = scheduleResultCodeFromRaw(code);
  if (!known) return ScheduleSaveOutcome::refused(std::string(unrecognizedResponseMessage));
  if (*known == ScheduleResultCode::accepted) return ScheduleSaveOutcome::saved();
  return ScheduleSaveOutcome::refused(messageOr(message, scheduleDefaultMessage(*known)));
}

std::optional<std::string> encodeSchedulesPayload(const std::vector<RecurringSchedule>& schedules) {
  std::string payload;
  try {
    payload = encodeSchedules(schedules);
  } catch (const std::exception&) {
    // Text that is not UTF-8 cannot be written as JSON.
    return std::nullopt;
  }
  if (payload.size() > static_cast<std::size_t>(scheduleMaxPayloadBytes)) return std::nullopt;
  return payload;
}

std::string describe(const ScheduleLoadOutcome& outcome) {
  switch (outcome.kind) {
    case ScheduleLoadOutcome::Kind::loaded:
      return "loaded(count: " + std::to_string(outcome.schedules.size()) + ")";
    case ScheduleLoadOutcome::Kind::failed:
      return "failed(message: \"" + outcome.message + "\")";
    case ScheduleLoadOutcome::Kind::helperUnavailable:
      return "helperUnavailable";
  }
  return "";
}

std::string describe(const ScheduleSaveOutcome& outcome) {
  switch (outcome.kind) {
    case ScheduleSaveOutcome::Kind::refused:
      return "refused(message: \"" + outcome.message + "\")";
    case ScheduleSaveOutcome::Kind::saved:
      return "saved";
    case ScheduleSaveOutcome::Kind::helperUnavailable:
      return "helperUnavailable";
  }
  return "";
}

std::ostream& operator<<(std::ostream& out, const ScheduleLoadOutcome& outcome) {
  return out << describe(outcome);
}
std::ostream& operator<<(std::ostream& out, const ScheduleSaveOutcome& outcome) {
  return out << describe(outcome);
}

}  // namespace nubrik
