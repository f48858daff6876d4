#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "app/bus_opener.hpp"
#include "app/event_loop.hpp"
#include "app/helper_connection.hpp"
#include "core/peer_authorization.hpp"

namespace nubrik {

// Judges the process that owns the helper's bus name, from the credentials the bus daemon holds
// for it.
using HelperOwnerCheck = std::function<PeerAuthorization(pid_t pid, uid_t uid)>;

// The helper of this installation: its executable is <the app's prefix>/libexec/nubrik/
// com.nubrik.helper in a root-only tree, it has the expected Team ID, and it runs as root.
// A client without privileges cannot see a root process's executable; see the .cpp for how it
// decides then.
HelperOwnerCheck helperOwnerCheck(std::string expectedTeamID, CodeIdentity identity,
                                  bool clientIsPrivileged);
HelperOwnerCheck productionHelperOwnerCheck(std::string expectedTeamID);

// The rejection when the owner of the helper's name does not run as root.
inline constexpr std::string_view ownerNotRootReason = "helper is not running as root";

// A connection to the helper over the system bus, for one request. The installed app runs setgid,
// so sd-bus ignores DBUS_SYSTEM_BUS_ADDRESS there (it reads it with secure_getenv) and always
// uses the system bus's own socket; a client that is not setgid, such as a test run from the build
// tree, still follows the variable. resume() connects, asks the bus daemon who owns the helper's
// name and with which credentials, and judges that process; only then do the requests go out,
// addressed to that owner's unique name, so that neither a new owner nor anyone else can answer
// them. Every bus failure closes the connection.
//
// The connection comes from openBus when one is given (the desktop program's connections, which
// the bus broker makes), from sd_bus_open_system otherwise.
//
// All bus work runs on the event loop's thread; the methods here may be called from any thread
// and take effect there, in call order. Destroying the object invalidates the connection; the loop
// must outlive it.
class HelperBusConnection final : public HelperConnection {
 public:
  HelperBusConnection(EventLoop& loop, HelperConnectionOptions options, HelperOwnerCheck ownerCheck,
                      BusOpener openBus = {});
  ~HelperBusConnection() override;
  HelperBusConnection(const HelperBusConnection&) = delete;
  HelperBusConnection& operator=(const HelperBusConnection&) = delete;

  void setInterruptionHandler(ConnectionErrorHandler handler) override;
  void setInvalidationHandler(ConnectionErrorHandler handler) override;
  void setRequestErrorHandler(ConnectionErrorHandler handler) override;
  void resume() override;
  void invalidate() override;

  void startSession(double durationSeconds, StartReplyHandler reply) override;
  void healthCheck(HealthReplyHandler reply) override;
  void prepareRestart(RestartReplyHandler reply) override;
  void requestEarlyUnlock(EarlyUnlockReplyHandler reply) override;
  void cancelEarlyUnlock(EarlyUnlockReplyHandler reply) override;
  void setSchedules(std::string payload, ScheduleSetReplyHandler reply) override;
  void getSchedules(ScheduleGetReplyHandler reply) override;

  class Impl;

 private:
  EventLoop& loop_;
  std::shared_ptr<Impl> impl_;
};

}  // namespace nubrik
