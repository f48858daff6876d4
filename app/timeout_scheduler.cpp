#include "app/timeout_scheduler.hpp"

#include <atomic>
#include <memory>
#include <utility>

namespace nubrik {

void CancellableWork::cancelled() const {
  if (cancel) cancel();
  if (onCancel) onCancel();
}

TimeoutScheduler TimeoutScheduler::mainQueue(MainQueue& queue) {
  MainQueue* target = &queue;
  return TimeoutScheduler{[target](double seconds, std::function<void()> work) {
    // The queue cannot take a timer back, so a cancelled time-out still wakes up once and then
    // does nothing.
    auto isCancelled = std::make_shared<std::atomic<bool>>(false);
    target->postAfter(seconds, [isCancelled, work = std::move(work)] {
      if (!isCancelled->load()) work();
    });
    return CancellableWork{[isCancelled] { isCancelled->store(true); }, {}};
  }};
}

TimeoutScheduler TimeoutScheduler::manual(std::function<void(std::function<void()> work)> capture) {
  return TimeoutScheduler{[capture = std::move(capture)](double, std::function<void()> work) {
    capture(std::move(work));
    return CancellableWork{[] {}, {}};
  }};
}

}  // namespace nubrik
