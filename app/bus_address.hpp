#pragma once

#include <systemd/sd-bus.h>

#include <string>

namespace nubrik {

// Opens and starts a client connection to the bus at `address` (a D-Bus address string). Returns
// 0 and the connection in `result`, or a negative errno and nothing.
int openBusAtAddress(const std::string& address, sd_bus** result);

}  // namespace nubrik
