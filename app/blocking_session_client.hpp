#pragma once

#include <functional>
#include <vector>

#include "app/event_loop.hpp"
#include "app/schedule_outcomes.hpp"
#include "app/session_client.hpp"
#include "core/recurring_schedule.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

// SessionClient for a caller that may block, such as the command line: each call runs a private
// event loop on the calling thread (both the main queue and the connections' loop) until the
// request's one outcome has arrived, which the request's time-out guarantees.
class BlockingSessionClient {
 public:
  using MakeClient = std::function<SessionClient(EventLoop& loop)>;

  // SessionClient::production on the private loop.
  BlockingSessionClient();
  explicit BlockingSessionClient(const MakeClient& makeClient);
  BlockingSessionClient(const BlockingSessionClient&) = delete;
  BlockingSessionClient& operator=(const BlockingSessionClient&) = delete;

  HealthProbeResult probeHealth();
  XPCStartOutcome requestStart(double durationSeconds);
  HelperRestartOutcome requestHelperRestart();
  EarlyUnlockOutcome requestEarlyUnlock();
  EarlyUnlockOutcome cancelEarlyUnlock();
  ScheduleLoadOutcome fetchSchedules();
  ScheduleSaveOutcome saveSchedules(const std::vector<RecurringSchedule>& schedules);

  // Every request otherwise waits SessionClient::xpcRequestTimeout for its reply.
  void setRequestTimeoutForTest(double seconds) { timeout_ = seconds; }

 private:
  template <typename Outcome, typename Send>
  Outcome wait(const Send& send);

  // Declared first: connections and requests are gone before the loop they run on.
  EventLoop loop_;
  SessionClient client_;
  double timeout_ = SessionClient::xpcRequestTimeout;
};

}  // namespace nubrik
