#pragma once

#include <systemd/sd-bus.h>

#include <string>

#include "helper/service/xpc_client_validator.hpp"

namespace nubrik {

// The caller behind a sender's unique name, as the bus daemon knows it from the socket (never
// from anything the sender wrote into its message): its process id, user id and groups as they
// were when it connected, and a pidfd that pins the process so that a pid recycled after the
// check cannot pass for the caller. A credential the bus does not give leaves its field empty,
// which the validator refuses.
XPCCaller callerFromBus(sd_bus* bus, const std::string& sender);

}  // namespace nubrik
