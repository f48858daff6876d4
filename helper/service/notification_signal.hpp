#pragma once

#include "helper/context/helper.hpp"

namespace nubrik {

// Emits each notification as the Notification(title, message) signal on the helper's object,
// over a connection to the system bus of its own. This is how a one-off command (--start,
// --recover), which serves nothing on the bus, tells a running app; with no system bus the
// notification is dropped.
NotificationSink systemBusNotificationSink();

}  // namespace nubrik
