#pragma once

#include <systemd/sd-event.h>

#include <functional>
#include <optional>
#include <string>

#include "core/date.hpp"
#include "core/session_clock.hpp"

namespace nubrik {

class Helper;

// Attaches a listener (the bus service) to the daemon's loop after the first tick.
using ListenerStart = std::function<void(sd_event* event)>;

// The daemon: one sd-event loop, attached to the helper for its life, on the main thread that ticks
// every 5 seconds, on network and rfkill changes, and at the stored session's expiration. Returns 0
// when SIGTERM or SIGINT ends it, and a failure status only when the loop cannot be set up at all.
int runDaemon(Helper& helper, const ListenerStart& startListener = {});

// When, on the wall clock as it reads at wallNow, the active session stored at the path ends by
// its own clock (see sessionNow), read without any of the load's side effects (no quarantine, no
// marker, no log); none when there is none or it cannot be read.
std::optional<Date> peekSessionExpiration(const std::string& sessionPath, Date wallNow,
                                          const std::optional<BootInstant>& boot);

}  // namespace nubrik
