#include "helper/service/helper_xpc_exported_object.hpp"

#include <chrono>
#include <optional>
#include <utility>

#include "core/json_fields.hpp"
#include "core/session_start_error.hpp"
#include "helper/context/helper.hpp"
#include "helper/coordinators/early_unlock_coordinator.hpp"
#include "helper/coordinators/session_start_coordinator.hpp"
#include "helper/daemon/daemon.hpp"
#include "helper/service/health_coordinator.hpp"
#include "helper/service/restart_coordinator.hpp"
#include "helper/store/schedule_store.hpp"
#include "helper/store/session_store.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

namespace {

constexpr StatusEffect changesStatus = StatusEffect::publishes;
constexpr StatusEffect statusNeutral = StatusEffect::neutral;

std::string text(std::string_view message) {
  return std::string(message);
}

// Every request that entered a status-changing transaction may have moved the session's end or
// left the generation mid-change; the next tick settles both. Asking must never cost the reply.
void askForTick(const HelperXPCHandlerDependencies& d) noexcept {
  try {
    if (d.requestTick) d.requestTick();
  } catch (...) {
  }
}

XPCStartReply startReply(XPCStartResultCode code, double expiration = 0) {
  return {rawValue(code), expiration, text(xpcDefaultMessage(code))};
}

XPCStartReply start(const HelperXPCHandlerDependencies& d, double duration) {
  XPCStartReply reply;
  try {
    d.runTransaction(
        [&] {
          if (d.isRestarting()) throw HelperRestartingError();
          try {
            const OfflineSession session = d.startSession(duration);
            d.publishStatus(session);
            reply = startReply(XPCStartResultCode::started, wireTimestamp(session.expirationDate));
          } catch (const SessionStartError& error) {
            // Only activationPending carries a saved session, and so an end to show.
            const std::optional<Date> end =
                error.session() ? std::optional<Date>(error.session()->expirationDate)
                                : std::nullopt;
            reply = startReply(xpcResultCode(error), wireTimestamp(end));
          }
        },
        changesStatus);
  } catch (const HelperTransactionError&) {
    return {rawValue(XPCStartResultCode::activeSession), 0, text(xpcBusyMessage)};
  } catch (const HelperRestartingError&) {
    reply = startReply(XPCStartResultCode::helperRestarting);
  } catch (...) {
    reply = startReply(XPCStartResultCode::requestFailed);
  }
  askForTick(d);
  return reply;
}

XPCRestartReply restart(const HelperXPCHandlerDependencies& d) {
  HelperRestartResultCode code = HelperRestartResultCode::notIdle;
  try {
    d.runTransaction([&] { code = d.prepareRestart(); }, changesStatus);
  } catch (const HelperTransactionError&) {
    code = HelperRestartResultCode::busy;
    return {rawValue(code), text(helperRestartDefaultMessage(code))};
  } catch (...) {
    code = HelperRestartResultCode::notIdle;
  }
  askForTick(d);
  return {rawValue(code), text(helperRestartDefaultMessage(code))};
}

XPCEarlyUnlockReply earlyUnlock(const HelperXPCHandlerDependencies& d,
                                const std::function<EarlyUnlockResult()>& operation,
                                bool isCancel) {
  EarlyUnlockResult result{EarlyUnlockResultCode::failed, std::nullopt};
  try {
    d.runTransaction([&] { result = operation(); }, changesStatus);
  } catch (const HelperTransactionError&) {
    return {rawValue(EarlyUnlockResultCode::busy), 0, text(xpcBusyMessage)};
  } catch (...) {
    result = {EarlyUnlockResultCode::failed, std::nullopt};
  }
  askForTick(d);
  const bool cancelled = isCancel && result.code == EarlyUnlockResultCode::accepted;
  return {
      rawValue(result.code), wireTimestamp(result.expiration),
      cancelled ? text(earlyUnlockCancelledMessage) : text(earlyUnlockDefaultMessage(result.code))};
}

ScheduleResultCode codeOf(const ScheduleStoreError& error) {
  switch (error.kind()) {
    case ScheduleStoreError::Kind::invalidSchedule:
      return ScheduleResultCode::invalid;
    case ScheduleStoreError::Kind::duplicateID:
      return ScheduleResultCode::duplicate;
    case ScheduleStoreError::Kind::tooManySchedules:
      return ScheduleResultCode::tooMany;
  }
  return ScheduleResultCode::failed;
}

XPCScheduleSetReply setSchedules(const HelperXPCHandlerDependencies& d, std::string_view payload) {
  ScheduleResultCode code = ScheduleResultCode::failed;
  try {
    d.runTransaction(
        [&] {
          // Checked before decoding: an oversized payload costs neither a parse nor a file read.
          if (payload.size() > static_cast<std::size_t>(scheduleMaxPayloadBytes)) {
            code = ScheduleResultCode::invalid;
            return;
          }
          std::vector<RecurringSchedule> schedules;
          try {
            schedules = decodeSchedules(payload);
          } catch (const DecodingError&) {
            code = ScheduleResultCode::invalid;
            return;
          }
          // The fired windows stay, so an unchanged schedule never fires its window twice.
          ScheduleState next{std::move(schedules), d.loadSchedules().firedWindows};
          try {
            d.saveSchedules(next);
            code = ScheduleResultCode::accepted;
          } catch (const ScheduleStoreError& error) {
            code = codeOf(error);
          }
        },
        statusNeutral);
  } catch (const HelperTransactionError&) {
    code = ScheduleResultCode::busy;
  } catch (...) {
    code = ScheduleResultCode::failed;
  }
  return {rawValue(code), text(scheduleDefaultMessage(code))};
}

XPCScheduleGetReply getSchedules(const HelperXPCHandlerDependencies& d) {
  try {
    std::string payload;
    d.runTransaction([&] { payload = encodeSchedules(d.loadSchedules().schedules); },
                     statusNeutral);
    return {rawValue(ScheduleResultCode::accepted), std::move(payload),
            text(scheduleDefaultMessage(ScheduleResultCode::accepted))};
  } catch (const HelperTransactionError&) {
    return {rawValue(ScheduleResultCode::busy), {}, text(xpcBusyMessage)};
  } catch (...) {
    return {rawValue(ScheduleResultCode::failed),
            {},
            text(scheduleDefaultMessage(ScheduleResultCode::failed))};
  }
}

// Each handler is the last line of defence before the bus: nothing may escape it.
template <typename Reply, typename Fallback, typename Body>
Reply guarded(Body&& body, Fallback&& fallback) {
  try {
    return body();
  } catch (...) {
    return fallback();
  }
}

}  // namespace

HelperXPCHandlerDependencies HelperXPCHandlerDependencies::production(Helper& helper) {
  HelperXPCHandlerDependencies d;
  d.runTransaction = [&helper](const std::function<void()>& body, StatusEffect effect) {
    helper.transactions().run(effect, [&body](Transaction&) { body(); });
  };
  d.isRestarting = [&helper] { return helper.isRestarting(); };
  d.startSession = [&helper](double duration) {
    return SessionStartCoordinator(SessionStartDependencies::production(helper)).start(duration);
  };
  d.publishStatus = [&helper](const OfflineSession& session) {
    helper.sessions().writeStatus(std::optional<OfflineSession>(session));
  };
  d.health = [] { return HealthCoordinator::production().health(); };
  d.prepareRestart = [&helper] { return RestartCoordinator::production(helper).prepareRestart(); };
  d.requestEarlyUnlock = [&helper] { return EarlyUnlockCoordinator::production(helper).request(); };
  d.cancelEarlyUnlock = [&helper] { return EarlyUnlockCoordinator::production(helper).cancel(); };
  d.loadSchedules = [&helper] { return helper.schedules().load(); };
  d.saveSchedules = [&helper](const ScheduleState& state) { helper.schedules().save(state); };
  d.requestTick = [&helper] { helper.requestTick(); };
  return d;
}

HelperXPCExportedObject HelperXPCExportedObject::withDependencies(
    HelperXPCHandlerDependencies dependencies) {
  const auto d = std::make_shared<const HelperXPCHandlerDependencies>(std::move(dependencies));
  HelperXPCExportedObject object;
  object.startHandler = [d](double duration) {
    return guarded<XPCStartReply>([&] { return start(*d, duration); },
                                  [] { return startReply(XPCStartResultCode::requestFailed); });
  };
  object.healthHandler = [d] {
    // The health check reads no state; a helper that can answer at all is ready.
    return guarded<HealthReply>([&] { return d->health(); },
                                [] { return HealthCoordinator::production().health(); });
  };
  object.restartHandler = [d] {
    return guarded<XPCRestartReply>(
        [&] { return restart(*d); },
        [] {
          return XPCRestartReply{
              rawValue(HelperRestartResultCode::notIdle),
              text(helperRestartDefaultMessage(HelperRestartResultCode::notIdle))};
        });
  };
  const auto unlockFailed = [] {
    return XPCEarlyUnlockReply{rawValue(EarlyUnlockResultCode::failed), 0,
                               text(earlyUnlockDefaultMessage(EarlyUnlockResultCode::failed))};
  };
  object.earlyUnlockRequestHandler = [d, unlockFailed] {
    return guarded<XPCEarlyUnlockReply>(
        [&] { return earlyUnlock(*d, d->requestEarlyUnlock, false); }, unlockFailed);
  };
  object.earlyUnlockCancelHandler = [d, unlockFailed] {
    return guarded<XPCEarlyUnlockReply>([&] { return earlyUnlock(*d, d->cancelEarlyUnlock, true); },
                                        unlockFailed);
  };
  object.scheduleSetHandler = [d](std::string_view payload) {
    return guarded<XPCScheduleSetReply>(
        [&] { return setSchedules(*d, payload); },
        [] {
          return XPCScheduleSetReply{rawValue(ScheduleResultCode::failed),
                                     text(scheduleDefaultMessage(ScheduleResultCode::failed))};
        });
  };
  object.scheduleGetHandler = [d] {
    return guarded<XPCScheduleGetReply>(
        [&] { return getSchedules(*d); },
        [] {
          return XPCScheduleGetReply{rawValue(ScheduleResultCode::failed),
                                     {},
                                     text(scheduleDefaultMessage(ScheduleResultCode::failed))};
        });
  };
  return object;
}

HelperXPCExportedObject HelperXPCExportedObject::production(Helper& helper) {
  return withDependencies(HelperXPCHandlerDependencies::production(helper));
}

}  // namespace nubrik
