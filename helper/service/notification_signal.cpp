#include "helper/service/notification_signal.hpp"

#include <systemd/sd-bus.h>

#include "core/nubrik_xpc.hpp"

namespace nubrik {

NotificationSink systemBusNotificationSink() {
  return [](const std::string& title, const std::string& message) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return;
    (void)sd_bus_emit_signal(bus, NubrikXPC::objectPath, NubrikXPC::interfaceName,
                             NubrikXPC::notificationSignal, NubrikXPC::notificationSignature,
                             title.c_str(), message.c_str());
    // The command exits right after; the signal must be on the wire before the connection goes.
    sd_bus_flush_close_unref(bus);
  };
}

}  // namespace nubrik
