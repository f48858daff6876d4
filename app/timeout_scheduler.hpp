#pragma once

#include <functional>

#include "app/main_queue.hpp"

namespace nubrik {

// Scheduled work that can still be called off.
struct CancellableWork {
  // Calls the work off; harmless when it already ran.
  std::function<void()> cancel;
  // Runs after cancel in cancelled(), when set.
  std::function<void()> onCancel;

  void cancelled() const;
};

// Arms the time-out of a request. Requests never read a clock themselves: the main-queue form
// runs the work after the interval, the manual form hands it to a test that runs it at will.
struct TimeoutScheduler {
  std::function<CancellableWork(double seconds, std::function<void()> work)> schedule;

  // Runs the work on the main queue `seconds` from now unless it is cancelled first.
  static TimeoutScheduler mainQueue(MainQueue& queue);
  // Hands the work (not the interval) to capture; its cancel does nothing, so a captured time-out
  // fires exactly when its holder runs it.
  static TimeoutScheduler manual(std::function<void(std::function<void()> work)> capture);
};

}  // namespace nubrik
