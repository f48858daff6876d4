#include "app/blocking_session_client.hpp"

#include <optional>
#include <stdexcept>
#include <utility>

namespace nubrik {

BlockingSessionClient::BlockingSessionClient()
    : BlockingSessionClient([](EventLoop& loop) { return SessionClient::production(loop, loop); }) {
}

BlockingSessionClient::BlockingSessionClient(const MakeClient& makeClient)
    : client_(makeClient(loop_)) {}

template <typename Outcome, typename Send>
Outcome BlockingSessionClient::wait(const Send& send) {
  auto outcome = std::make_shared<std::optional<Outcome>>();
  send([outcome](Outcome value) { *outcome = std::move(value); });
  loop_.runUntil([&outcome] { return outcome->has_value(); });
  // Only a stopped loop returns early, and nothing here stops it.
  if (!outcome->has_value()) throw std::logic_error("the event loop stopped before the outcome");
  return std::move(**outcome);
}

HealthProbeResult BlockingSessionClient::probeHealth() {
  return wait<HealthProbeResult>(
      [this](auto completion) { client_.probeHealth(timeout_, std::move(completion)); });
}

XPCStartOutcome BlockingSessionClient::requestStart(double durationSeconds) {
  return wait<XPCStartOutcome>([this, durationSeconds](auto completion) {
    client_.requestStartViaXPC(durationSeconds, timeout_, std::move(completion));
  });
}

HelperRestartOutcome BlockingSessionClient::requestHelperRestart() {
  return wait<HelperRestartOutcome>(
      [this](auto completion) { client_.requestHelperRestart(timeout_, std::move(completion)); });
}

EarlyUnlockOutcome BlockingSessionClient::requestEarlyUnlock() {
  return wait<EarlyUnlockOutcome>(
      [this](auto completion) { client_.requestEarlyUnlock(timeout_, std::move(completion)); });
}

EarlyUnlockOutcome BlockingSessionClient::cancelEarlyUnlock() {
  return wait<EarlyUnlockOutcome>(
      [this](auto completion) { client_.cancelEarlyUnlock(timeout_, std::move(completion)); });
}

ScheduleLoadOutcome BlockingSessionClient::fetchSchedules() {
  return wait<ScheduleLoadOutcome>(
      [this](auto completion) { client_.fetchSchedules(timeout_, std::move(completion)); });
}

ScheduleSaveOutcome BlockingSessionClient::saveSchedules(
    const std::vector<RecurringSchedule>& schedules) {
  return wait<ScheduleSaveOutcome>([this, &schedules](auto completion) {
    client_.saveSchedules(schedules, timeout_, std::move(completion));
  });
}

}  // namespace nubrik
