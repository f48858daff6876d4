#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/early_unlock_result.hpp"
#include "core/recurring_schedule.hpp"
#include "core/session.hpp"
#include "core/xpc_result_codes.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

class Helper;

// The reply values of each request, in wire order.
struct XPCStartReply {
  std::int64_t code = rawValue(XPCStartResultCode::requestFailed);
  double expiration = 0;
  std::string message;
  bool operator==(const XPCStartReply&) const = default;
};

struct XPCRestartReply {
  std::int64_t code = rawValue(HelperRestartResultCode::notIdle);
  std::string message;
  bool operator==(const XPCRestartReply&) const = default;
};

struct XPCEarlyUnlockReply {
  std::int64_t code = rawValue(EarlyUnlockResultCode::failed);
  double expiration = 0;
  std::string message;
  bool operator==(const XPCEarlyUnlockReply&) const = default;
};

struct XPCScheduleSetReply {
  std::int64_t code = rawValue(ScheduleResultCode::failed);
  std::string message;
  bool operator==(const XPCScheduleSetReply&) const = default;
};

struct XPCScheduleGetReply {
  std::int64_t code = rawValue(ScheduleResultCode::failed);
  // The schedule payload; empty unless the code is 0.
  std::string payload;
  std::string message;
  bool operator==(const XPCScheduleGetReply&) const = default;
};

// A session start refused because the helper is about to exit for an update.
class HelperRestartingError : public std::runtime_error {
 public:
  HelperRestartingError() : std::runtime_error("helperRestarting") {}
};

// What the request handlers do, each a replaceable operation.
struct HelperXPCHandlerDependencies {
  // Runs the body as one helper transaction with the given status-neutral flag. Throws
  // HelperTransactionError when the state lock cannot be taken, else the body's own error.
  std::function<void(const std::function<void()>& body, StatusEffect effect)> runTransaction;
  std::function<bool()> isRestarting;
  // Throws SessionStartError or the store's error.
  std::function<OfflineSession(double duration)> startSession;
  std::function<void(const OfflineSession&)> publishStatus;
  std::function<HealthReply()> health;
  std::function<HelperRestartResultCode()> prepareRestart;
  std::function<EarlyUnlockResult()> requestEarlyUnlock;
  std::function<EarlyUnlockResult()> cancelEarlyUnlock;
  std::function<ScheduleState()> loadSchedules;
  // Throws ScheduleStoreError or a file-system error.
  std::function<void(const ScheduleState&)> saveSchedules;
  // After a request that may have changed the session or left the status mid-change: lets the
  // daemon loop tick soon, so the status and the expiration wake-up follow at once.
  std::function<void()> requestTick;

  // Helper transactions, the lifecycle flag, the coordinators with their production dependencies
  // (built afresh for every request), the schedule store and the daemon loop's tick request.
  static HelperXPCHandlerDependencies production(Helper& helper);
};

// The object the service serves requests with; one handler per request, in protocol order. Each
// handler answers exactly once (its return value) and never throws: every failure becomes a code.
struct HelperXPCExportedObject {
  std::function<XPCStartReply(double duration)> startHandler;
  std::function<HealthReply()> healthHandler;
  std::function<XPCRestartReply()> restartHandler;
  std::function<XPCEarlyUnlockReply()> earlyUnlockRequestHandler;
  std::function<XPCEarlyUnlockReply()> earlyUnlockCancelHandler;
  std::function<XPCScheduleSetReply(std::string_view payload)> scheduleSetHandler;
  std::function<XPCScheduleGetReply()> scheduleGetHandler;

  // The production handlers over a dependency record.
  static HelperXPCExportedObject withDependencies(HelperXPCHandlerDependencies dependencies);
  static HelperXPCExportedObject production(Helper& helper);
};

}  // namespace nubrik
