#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "core/recurring_schedule.hpp"
#include "core/session.hpp"

namespace nubrik {

class Helper;

struct ScheduledStartDependencies {
  std::function<ScheduleState()> loadSchedules;
  // Throws when the fired window cannot be recorded.
  std::function<void(const std::string& scheduleID, Date windowStart)> recordFired;
  std::function<bool()> isRestarting;
  // Throws SessionStartError, or the save's own error.
  std::function<OfflineSession(double durationSeconds)> startSession;
  std::function<void(const OfflineSession&)> publishStatus;
  std::function<Date()> now;
  std::function<std::shared_ptr<const Calendar>()> calendar;
  std::function<void(const std::string&)> log;

  // The schedule store, the production session start, the restart flag, the system calendar
  // (following the current time zone), the wall clock and the helper log.
  static ScheduledStartDependencies production(Helper& helper);
};

// Starts a session when a weekly window is due. Runs inside the tick's transaction, and only
// when no session is stored.
class ScheduledStartCoordinator {
 public:
  explicit ScheduledStartCoordinator(ScheduledStartDependencies dependencies);
  static ScheduledStartCoordinator production(Helper& helper);

  // One pass; every failure ends in a log line, nothing reaches the caller.
  void runIfDue() const noexcept;

 private:
  ScheduledStartDependencies dependencies_;
};

// The daemon tick's scheduled start: a fresh production coordinator, one pass. Never throws.
void runScheduledStartIfDue(Helper& helper) noexcept;

}  // namespace nubrik
