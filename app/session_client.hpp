#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/bus_opener.hpp"
#include "app/helper_connection.hpp"
#include "app/main_queue.hpp"
#include "app/schedule_outcomes.hpp"
#include "app/timeout_scheduler.hpp"
#include "core/recurring_schedule.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

class EventLoop;

struct SessionClientDependencies {
  // Where outcomes and time-outs run.
  MainQueue* mainQueue = nullptr;
  // The app's own Team ID; none means no helper can be trusted, so no request is sent.
  std::function<std::optional<std::string>()> currentTeamID;
  // A fresh, not yet resumed connection for one request.
  std::function<std::shared_ptr<HelperConnection>(const HelperConnectionOptions& options)>
      makeConnection;
  // The time-out scheduler of each request; empty means TimeoutScheduler::mainQueue(*mainQueue).
  std::function<TimeoutScheduler()> timeoutScheduler;
};

// The app's only way to ask the helper for anything. Each request opens its own connection, sends
// one message (a health check and then a start, for a start), and ends in exactly one outcome on
// the main queue: the mapped reply, or the request's unavailable outcome when the helper could not
// be reached or trusted, the connection broke, or no reply came within the time-out.
class SessionClient {
 public:
  // Every request the app makes passes this time-out.
  static constexpr double xpcRequestTimeout = 15.0;

  explicit SessionClient(SessionClientDependencies dependencies);
  // Requests over the system bus (DBUS_SYSTEM_BUS_ADDRESS when set), their connections running
  // on busLoop, the helper judged against this installation and the app's own Team ID. Each
  // connection comes from openBus when one is given (the desktop program passes its broker's
  // BrokerClient::opener), from sd_bus_open_system otherwise.
  static SessionClient production(MainQueue& mainQueue, EventLoop& busLoop, BusOpener openBus = {});

  // Unavailable outcome: failed.
  void probeHealth(double timeout, std::function<void(HealthProbeResult)> completion) const;
  // A health check, then, on the same connection and only for a compatible, ready helper, the
  // start. Unavailable outcome: helperUnavailable.
  void requestStartViaXPC(double durationSeconds, double timeout,
                          std::function<void(XPCStartOutcome)> completion) const;
  void requestHelperRestart(double timeout,
                            std::function<void(HelperRestartOutcome)> completion) const;
  void requestEarlyUnlock(double timeout, std::function<void(EarlyUnlockOutcome)> completion) const;
  void cancelEarlyUnlock(double timeout, std::function<void(EarlyUnlockOutcome)> completion) const;
  void fetchSchedules(double timeout, std::function<void(ScheduleLoadOutcome)> completion) const;
  // A list that cannot be sent is refused with "The schedules were not valid." and no connection
  // is opened.
  void saveSchedules(const std::vector<RecurringSchedule>& schedules, double timeout,
                     std::function<void(ScheduleSaveOutcome)> completion) const;

  // The health-checked start on an already set-up connection. The start goes out only when the
  // health reply is the first one and arrives before the request has finished.
  static void requestCompatibleStart(const std::shared_ptr<HelperConnection>& proxy,
                                     double durationSeconds, std::function<bool()> isFinished,
                                     std::function<void(XPCStartOutcome)> completion);

  const SessionClientDependencies& dependencies() const { return dependencies_; }

 private:
  SessionClientDependencies dependencies_;
};

// The start failure when the helper is too old, too new or not ready.
inline constexpr std::string_view incompatibleHelperMessage =
    "Helper version is incompatible or unavailable. Complete the helper update/restart in Helper "
    "Setup, then check again.";

// The text to show for a start outcome: none for started and activationPending, the message of
// failed, and the unavailable text for helperUnavailable.
std::optional<std::string> message(const XPCStartOutcome& outcome);

}  // namespace nubrik
