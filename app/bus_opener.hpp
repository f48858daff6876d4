#pragma once

#include <systemd/sd-bus.h>

#include <functional>

namespace nubrik {

// Opens and starts a client connection to the system bus: 0 and the connection in *result, or a
// negative errno and nothing. Where an opener is optional, an empty one means sd_bus_open_system.
using BusOpener = std::function<int(sd_bus** result)>;

}  // namespace nubrik
