#include "helper/coordinators/scheduled_start_coordinator.hpp"

#include <chrono>
#include <optional>
#include <utility>
#include <variant>

#include "core/session_start_error.hpp"
#include "helper/context/helper.hpp"
#include "helper/coordinators/session_start_coordinator.hpp"
#include "helper/coordinators/switch_pass.hpp"

namespace nubrik {

ScheduledStartDependencies ScheduledStartDependencies::production(Helper& helper) {
  return ScheduledStartDependencies{
      .loadSchedules = [&helper] { return helper.schedules().load(); },
      .recordFired =
          [&helper](const std::string& scheduleID, Date windowStart) {
            helper.schedules().recordFired(scheduleID, windowStart);
          },
      .isRestarting = [&helper] { return helper.isRestarting(); },
      .startSession =
          [&helper](double durationSeconds) {
            return SessionStartCoordinator(SessionStartDependencies::production(helper))
                .start(durationSeconds);
          },
      .publishStatus =
          [&helper](const OfflineSession& session) {
            helper.sessions().writeStatus(std::optional<OfflineSession>(session));
          },
      .now = helper.clock(),
      .calendar = [&helper] { return helper.calendar(); },
      .log = helper.logOperation(),
  };
}

ScheduledStartCoordinator::ScheduledStartCoordinator(ScheduledStartDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

ScheduledStartCoordinator ScheduledStartCoordinator::production(Helper& helper) {
  return ScheduledStartCoordinator(ScheduledStartDependencies::production(helper));
}

void ScheduledStartCoordinator::runIfDue() const noexcept {
  const ScheduledStartDependencies& d = dependencies_;

  ScheduleStart due;
  try {
    // A daemon about to exit for an update must not take the network down on its way out.
    if (d.isRestarting()) return;
    const ScheduleState state = d.loadSchedules();
    if (state.schedules.empty()) return;
    const std::shared_ptr<const Calendar> calendar = d.calendar();
    if (!calendar) return;
    const ScheduleDecision decision =
        scheduleDecision(state.schedules, d.now(), *calendar, state.firedWindows);
    const auto* start = std::get_if<ScheduleStart>(&decision);
    if (start == nullptr) return;
    due = *start;
  } catch (...) {
    // Without the schedules or a calendar nothing is due; the next tick asks again.
    return;
  }

  // The window is recorded before the start is attempted, so that a start that fails, or a
  // daemon that dies half-way, does not try the same window again on every tick.
  try {
    d.recordFired(due.scheduleID, due.windowStart);
  } catch (...) {
    logLine(d.log, "schedules: could not record fired window for '" + due.scheduleID + "' (" +
                       describeCurrentException() + "); not starting");
    return;
  }

  try {
    const OfflineSession session = d.startSession(static_cast<double>(due.durationSeconds));
    runGuarded([&] { d.publishStatus(session); });
    logLine(d.log, "schedules: started '" + due.scheduleID + "' for " +
                       std::to_string(due.durationSeconds) + "s");
  } catch (const SessionStartError& error) {
    if (error.kind() == SessionStartError::Kind::activationPending) {
      // The pending status is already published; enforcement completes the lock.
      logLine(d.log, "schedules: started '" + due.scheduleID + "' is awaiting activation");
    } else {
      logLine(d.log,
              "schedules: start for '" + due.scheduleID + "' failed: " + std::string(error.what()));
    }
  } catch (...) {
    logLine(d.log,
            "schedules: start for '" + due.scheduleID + "' failed: " + describeCurrentException());
  }
}

void runScheduledStartIfDue(Helper& helper) noexcept {
  try {
    ScheduledStartCoordinator::production(helper).runIfDue();
  } catch (...) {
    // Building the production record cannot fail in practice; the tick must go on regardless.
  }
}

}  // namespace nubrik
