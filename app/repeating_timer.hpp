#pragma once

#include <functional>
#include <memory>

#include "app/main_queue.hpp"

namespace nubrik {

// A timer that fires on the main queue every `interval` seconds until it is cancelled or
// destroyed. The window binds it to the toolkit's timer; the logic and its tests only see this.
class RepeatingTimer {
 public:
  virtual ~RepeatingTimer() = default;
  // No firing happens after this returns (on the main queue's thread).
  virtual void cancel() = 0;
};

// Makes a running repeating timer: (interval in seconds, what to do on each firing).
using RepeatingTimerFactory =
    std::function<std::unique_ptr<RepeatingTimer>(double interval, std::function<void()> fire)>;

// A repeating timer built on a main queue's postAfter: each firing schedules the next, so a slow
// firing delays the following ones rather than bunching them up.
std::unique_ptr<RepeatingTimer> mainQueueRepeatingTimer(MainQueue& queue, double interval,
                                                        std::function<void()> fire);

// The factory of mainQueueRepeatingTimer over one queue (which must outlive the timers).
RepeatingTimerFactory mainQueueRepeatingTimers(MainQueue& queue);

}  // namespace nubrik
