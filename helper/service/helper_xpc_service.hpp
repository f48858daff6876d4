#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/sd_handles.hpp"
#include "helper/service/helper_xpc_exported_object.hpp"
#include "helper/service/xpc_client_validator.hpp"

namespace nubrik {

class Helper;
class HelperXPCListenerOwner;

// The service behind the helper's bus name: who may be served, and with what.
class HelperXPCService {
 public:
  HelperXPCService(XPCClientValidator validator,
                   std::function<HelperXPCExportedObject()> makeExportedObject);

  // The production validator and production handlers.
  static HelperXPCService production(Helper& helper);
  // A production service on the system bus, not yet started; the daemon keeps it while it runs.
  static std::unique_ptr<HelperXPCListenerOwner> productionOwner(Helper& helper);

  // A fresh exported object for a request the validator accepts; none for any other. A refused
  // request never reaches a handler.
  std::optional<HelperXPCExportedObject> accept(const XPCCaller& caller) const;

 private:
  XPCClientValidator validator_;
  std::function<HelperXPCExportedObject()> makeExportedObject_;
};

// Holds the bus connection that serves the helper's object and name, and the service behind it,
// for as long as the daemon runs.
class HelperXPCListenerOwner {
 public:
  // Opens a connection to the bus the service is served on; returns a negative errno on failure.
  using BusOpener = std::function<int(sd_bus** bus)>;

  // Routes the helper's notifications to the bus while started.
  HelperXPCListenerOwner(Helper& helper, HelperXPCService service, BusOpener openBus);
  ~HelperXPCListenerOwner();
  HelperXPCListenerOwner(const HelperXPCListenerOwner&) = delete;
  HelperXPCListenerOwner& operator=(const HelperXPCListenerOwner&) = delete;

  // The system bus.
  static BusOpener systemBus();
  // A private bus at an address (a test's own dbus-daemon).
  static BusOpener busAtAddressForTest(std::string address);

  // Attaches to the loop, serves the object, takes the well-known name, routes the daemon's
  // notifications to the bus as signals and logs that the listener started. Throws
  // std::system_error when any step fails; nothing stays attached then.
  void start(sd_event* event);
  // Releases the name and the connection, and stops routing notifications to it.
  void stop();
  bool isStarted() const { return bus_ != nullptr; }
  sd_bus* bus() const { return bus_.get(); }

  const HelperXPCService& service() const { return service_; }

 private:
  Helper& helper_;
  HelperXPCService service_;
  BusOpener openBus_;
  FlushingBusHandle bus_;
  BusSlotHandle objectSlot_;
};

}  // namespace nubrik
