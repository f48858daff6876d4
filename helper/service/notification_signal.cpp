#include "helper/service/notification_signal.hpp"

#include "core/nubrik_xpc.hpp"
#include "core/sd_handles.hpp"

namespace nubrik {

NotificationSink systemBusNotificationSink() {
  return [](const std::string& title, const std::string& message) {
    // The command exits right after; the signal must be on the wire before the connection goes.
    FlushingBusHandle bus;
    if (sd_bus_open_system(out(bus)) < 0) return;
    (void)sd_bus_emit_signal(bus.get(), NubrikXPC::objectPath, NubrikXPC::interfaceName,
                             NubrikXPC::notificationSignal, NubrikXPC::notificationSignature,
                             title.c_str(), message.c_str());
  };
}

}  // namespace nubrik
