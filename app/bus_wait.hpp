#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>

#include "core/sd_handles.hpp"

namespace nubrik {

// CLOCK_MONOTONIC in microseconds, the clock of sd-bus's time-outs.
uint64_t monotonicMicroseconds();

// The reply to one asynchronous call, filled in by sd-bus while the caller waits.
struct PendingReply {
  BusMessageHandle reply;
  bool done = false;

  static int onReply(sd_bus_message* message, void* userdata, sd_bus_error*);
};

// Processes the bus until `done` holds, the monotonic deadline passes (-ETIMEDOUT; UINT64_MAX for
// none beyond sd-bus's own call time-outs) or the stop descriptor becomes readable (-ECANCELED;
// a negative descriptor for none). A negative errno on failure.
int processBusUntil(sd_bus* bus, const std::function<bool()>& done, int stopFd,
                    uint64_t deadline = UINT64_MAX);

}  // namespace nubrik
