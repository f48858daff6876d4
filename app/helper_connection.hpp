#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace nubrik {

// What a connection needs to know to judge the helper and bound its requests.
struct HelperConnectionOptions {
  // The Team ID the helper must have; the app's own.
  std::string expectedTeamID;
  // The bus's own time-out for each method call.
  double methodTimeoutSeconds = 0;
};

// Why a connection to the helper broke or a request on it failed; for diagnostics only, since
// every such failure leads to the request's unavailable outcome.
struct ConnectionError {
  std::string description;
};

using ConnectionErrorHandler = std::function<void(const ConnectionError& error)>;

// Reply values of each request, in wire order.
using HealthReplyHandler = std::function<void(std::int64_t protocolVersion,
                                              std::string helperVersion, std::int64_t readyCode)>;
using StartReplyHandler =
    std::function<void(std::int64_t code, double expirationTimestamp, std::string message)>;
using RestartReplyHandler = std::function<void(std::int64_t code, std::string message)>;
using EarlyUnlockReplyHandler =
    std::function<void(std::int64_t code, double expirationTimestamp, std::string message)>;
using ScheduleSetReplyHandler = std::function<void(std::int64_t code, std::string message)>;
using ScheduleGetReplyHandler =
    std::function<void(std::int64_t code, std::string payload, std::string message)>;

// One connection to the helper, used for one request and then closed. Handlers are set before
// resume(). Replies and handlers run on the connection's own thread, never while the caller holds
// one of the connection's locks. After invalidation nothing more is called back.
class HelperConnection {
 public:
  virtual ~HelperConnection() = default;

  // The channel broke while in use (the bus connection was lost).
  virtual void setInterruptionHandler(ConnectionErrorHandler handler) = 0;
  // The connection is closed for good: it could not be made, the helper's identity was not
  // trusted, the channel broke, or invalidate() was called. Runs at most once.
  virtual void setInvalidationHandler(ConnectionErrorHandler handler) = 0;
  // A request failed without a usable reply (an error reply, a reply from someone else, a reply
  // of the wrong shape, or the method time-out).
  virtual void setRequestErrorHandler(ConnectionErrorHandler handler) = 0;

  // Opens the channel. Requests sent before the helper's identity has been checked wait for it.
  virtual void resume() = 0;
  // Closes the channel and runs the invalidation handler, unless it already ran.
  virtual void invalidate() = 0;

  // The seven requests of the helper's protocol.
  virtual void startSession(double durationSeconds, StartReplyHandler reply) = 0;
  virtual void healthCheck(HealthReplyHandler reply) = 0;
  virtual void prepareRestart(RestartReplyHandler reply) = 0;
  virtual void requestEarlyUnlock(EarlyUnlockReplyHandler reply) = 0;
  virtual void cancelEarlyUnlock(EarlyUnlockReplyHandler reply) = 0;
  virtual void setSchedules(std::string payload, ScheduleSetReplyHandler reply) = 0;
  virtual void getSchedules(ScheduleGetReplyHandler reply) = 0;
};

}  // namespace nubrik
