#pragma once

#include <systemd/sd-event.h>

#include <functional>
#include <optional>

#include "core/date.hpp"
#include "core/sd_handles.hpp"

namespace nubrik {

// Runs the daemon's ticks on an sd-event loop. Change notifications request a deferred tick, and
// every request made before it runs is served by that one tick, so a burst of link events costs a
// single pass. After every tick a one-shot wake-up is armed at the stored session's expiration,
// so a session ends on time rather than at the next periodic firing.
class TickScheduler {
 public:
  struct Operations {
    std::function<void()> tick;  // never throws
    // The stored session's expiration, or none; must not change any state.
    std::function<std::optional<Date>()> sessionExpiration;
    std::function<Date()> now;
  };

  // Throws std::system_error when the loop refuses the sources.
  TickScheduler(sd_event* event, Operations operations);
  TickScheduler(const TickScheduler&) = delete;
  TickScheduler& operator=(const TickScheduler&) = delete;

  // Schedules one tick for the next loop iteration; further requests before it runs coalesce.
  void requestTick();
  // Runs a tick at once (serving any pending request), then re-arms the expiration wake-up.
  void tickNow();

  // The instant the expiration wake-up is armed for, if any.
  const std::optional<Date>& armedWakeUp() const { return armedWakeUp_; }

 private:
  static int onDeferred(sd_event_source* source, void* userdata);
  static int onWakeUp(sd_event_source* source, uint64_t usec, void* userdata);
  void rearmWakeUp();

  EventHandle event_;
  Operations operations_;
  EventSourceHandle deferred_;
  EventSourceHandle wakeUp_;
  std::optional<Date> armedWakeUp_;
};

// The sd-event CLOCK_REALTIME time (microseconds since 1970) at or after the instant; none when
// the instant lies before 1970.
std::optional<uint64_t> realtimeMicroseconds(Date date);

}  // namespace nubrik
