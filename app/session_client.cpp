#include "app/session_client.hpp"

#include <utility>

#include "app/event_loop.hpp"
#include "app/helper_bus_connection.hpp"
#include "app/xpc_request.hpp"
#include "core/nubrik_xpc.hpp"
#include "core/peer_authorization.hpp"

namespace nubrik {

namespace {

template <typename Outcome>
using RequestPointer = std::shared_ptr<XPCRequest<Outcome>>;

template <typename Outcome>
struct PreparedRequest {
  RequestPointer<Outcome> request;
  // Empty when the request finished during set-up.
  std::shared_ptr<HelperConnection> connection;
};

// The set-up every request shares: arm the time-out, refuse to connect without a Team ID to hold
// the helper to, open a connection whose every failure finishes the request as unavailable.
template <typename Outcome>
PreparedRequest<Outcome> setUpRequest(const SessionClientDependencies& dependencies, double timeout,
                                      const Outcome& unavailable, const Outcome& withoutTeamID,
                                      std::function<void(Outcome)> completion) {
  const TimeoutScheduler scheduler = dependencies.timeoutScheduler
                                         ? dependencies.timeoutScheduler()
                                         : TimeoutScheduler::mainQueue(*dependencies.mainQueue);
  auto request =
      XPCRequest<Outcome>::make(timeout, scheduler, *dependencies.mainQueue, std::move(completion));
  request->start(unavailable);

  const std::optional<std::string> teamID = dependencies.currentTeamID();
  if (!NubrikXPC::codeSigningRequirement(NubrikXPC::helperIdentifier, teamID)) {
    request->finish(withoutTeamID);
    return {request, nullptr};
  }

  std::shared_ptr<HelperConnection> connection =
      dependencies.makeConnection(HelperConnectionOptions{*teamID, timeout});
  // Handlers reach the connection only weakly: the request alone keeps it alive.
  std::weak_ptr<HelperConnection> box = connection;
  request->retain(connection);

  auto finishUnavailable = [request, unavailable](const ConnectionError&) {
    request->finish(unavailable);
  };
  connection->setInterruptionHandler(finishUnavailable);
  connection->setInvalidationHandler(finishUnavailable);
  connection->setRequestErrorHandler([request, unavailable, box](const ConnectionError&) {
    request->finish(unavailable);
    if (auto open = box.lock()) open->invalidate();
  });
  connection->resume();
  return {request, connection};
}

}  // namespace

SessionClient::SessionClient(SessionClientDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

SessionClient SessionClient::production(MainQueue& mainQueue, EventLoop& busLoop,
                                        BusOpener openBus) {
  EventLoop* loop = &busLoop;
  return SessionClient(SessionClientDependencies{
      &mainQueue,
      [] { return CodeIdentity::currentTeamID(); },
      [loop, openBus = std::move(openBus)](
          const HelperConnectionOptions& options) -> std::shared_ptr<HelperConnection> {
        return std::make_shared<HelperBusConnection>(
            *loop, options, productionHelperOwnerCheck(options.expectedTeamID), openBus);
      },
      {},
  });
}

void SessionClient::probeHealth(double timeout,
                                std::function<void(HealthProbeResult)> completion) const {
  const auto failed = HealthProbeResult::failed();
  auto prepared = setUpRequest(dependencies_, timeout, failed, failed, std::move(completion));
  if (!prepared.connection) return;
  prepared.connection->healthCheck([request = prepared.request](std::int64_t protocolVersion,
                                                                std::string helperVersion,
                                                                std::int64_t readyCode) {
    request->finish(healthProbeResult(protocolVersion, helperVersion, readyCode));
  });
}

void SessionClient::requestStartViaXPC(double durationSeconds, double timeout,
                                       std::function<void(XPCStartOutcome)> completion) const {
  auto prepared = setUpRequest(dependencies_, timeout, XPCStartOutcome::helperUnavailable(),
                               XPCStartOutcome::failed(std::string(
                                   xpcDefaultMessage(XPCStartResultCode::helperUnavailable))),
                               std::move(completion));
  if (!prepared.connection) return;
  auto request = prepared.request;
  requestCompatibleStart(
      prepared.connection, durationSeconds, [request] { return request->isFinished(); },
      [request](XPCStartOutcome outcome) { request->finish(std::move(outcome)); });
}

void SessionClient::requestCompatibleStart(const std::shared_ptr<HelperConnection>& proxy,
                                           double durationSeconds, std::function<bool()> isFinished,
                                           std::function<void(XPCStartOutcome)> completion) {
  auto healthAnswered = std::make_shared<OnceFlag>();
  std::weak_ptr<HelperConnection> box = proxy;
  proxy->healthCheck([healthAnswered, box, durationSeconds, isFinished = std::move(isFinished),
                      completion = std::move(completion)](std::int64_t protocolVersion, std::string,
                                                          std::int64_t readyCode) {
    // A health reply after the time-out must not start a session nobody waits for.
    if (!healthAnswered->claim() || isFinished()) return;
    if (!healthIsReady(protocolVersion, readyCode)) {
      completion(XPCStartOutcome::failed(std::string(incompatibleHelperMessage)));
      return;
    }
    auto connection = box.lock();
    if (!connection) return;
    // The same connection, so the helper that passed the health check is the one that starts.
    connection->startSession(durationSeconds,
                             [completion](std::int64_t code, double expiration, std::string text) {
                               completion(xpcStartOutcome(code, expiration, text));
                             });
  });
}

void SessionClient::requestHelperRestart(
    double timeout, std::function<void(HelperRestartOutcome)> completion) const {
  const auto unavailable = HelperRestartOutcome::helperUnavailable();
  auto prepared =
      setUpRequest(dependencies_, timeout, unavailable, unavailable, std::move(completion));
  if (!prepared.connection) return;
  prepared.connection->prepareRestart(
      [request = prepared.request](std::int64_t code, std::string text) {
        request->finish(helperRestartOutcome(code, text));
      });
}

void SessionClient::requestEarlyUnlock(double timeout,
                                       std::function<void(EarlyUnlockOutcome)> completion) const {
  const auto unavailable = EarlyUnlockOutcome::helperUnavailable();
  auto prepared =
      setUpRequest(dependencies_, timeout, unavailable, unavailable, std::move(completion));
  if (!prepared.connection) return;
  prepared.connection->requestEarlyUnlock(
      [request = prepared.request](std::int64_t code, double expiration, std::string text) {
        request->finish(earlyUnlockOutcome(code, expiration, text));
      });
}

void SessionClient::cancelEarlyUnlock(double timeout,
                                      std::function<void(EarlyUnlockOutcome)> completion) const {
  const auto unavailable = EarlyUnlockOutcome::helperUnavailable();
  auto prepared =
      setUpRequest(dependencies_, timeout, unavailable, unavailable, std::move(completion));
  if (!prepared.connection) return;
  prepared.connection->cancelEarlyUnlock(
      [request = prepared.request](std::int64_t code, double expiration, std::string text) {
        request->finish(earlyUnlockOutcome(code, expiration, text));
      });
}

void SessionClient::fetchSchedules(double timeout,
                                   std::function<void(ScheduleLoadOutcome)> completion) const {
  const auto unavailable = ScheduleLoadOutcome::helperUnavailable();
  auto prepared =
      setUpRequest(dependencies_, timeout, unavailable, unavailable, std::move(completion));
  if (!prepared.connection) return;
  prepared.connection->getSchedules(
      [request = prepared.request](std::int64_t code, std::string payload, std::string text) {
        request->finish(scheduleLoadOutcome(code, payload, text));
      });
}

void SessionClient::saveSchedules(const std::vector<RecurringSchedule>& schedules, double timeout,
                                  std::function<void(ScheduleSaveOutcome)> completion) const {
  std::optional<std::string> payload = encodeSchedulesPayload(schedules);
  if (!payload) {
    const auto refused = ScheduleSaveOutcome::refused(
        std::string(scheduleDefaultMessage(ScheduleResultCode::invalid)));
    // Delivered like every other outcome, but no connection is opened and no time-out armed.
    XPCRequest<ScheduleSaveOutcome>::make(timeout, TimeoutScheduler{}, *dependencies_.mainQueue,
                                          std::move(completion))
        ->finish(refused);
    return;
  }
  const auto unavailable = ScheduleSaveOutcome::helperUnavailable();
  auto prepared =
      setUpRequest(dependencies_, timeout, unavailable, unavailable, std::move(completion));
  if (!prepared.connection) return;
  prepared.connection->setSchedules(
      std::move(*payload), [request = prepared.request](std::int64_t code, std::string text) {
        request->finish(scheduleSaveOutcome(code, text));
      });
}

std::optional<std::string> message(const XPCStartOutcome& outcome) {
  switch (outcome.kind) {
    case XPCStartOutcome::Kind::started:
    case XPCStartOutcome::Kind::activationPending:
      return std::nullopt;
    case XPCStartOutcome::Kind::failed:
      return outcome.message;
    case XPCStartOutcome::Kind::helperUnavailable:
      return std::string(xpcDefaultMessage(XPCStartResultCode::helperUnavailable));
  }
  return std::nullopt;
}

}  // namespace nubrik
