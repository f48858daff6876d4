#include "app/repeating_timer.hpp"

#include <utility>

namespace nubrik {

namespace {

// Shared between the timer object and its pending firing, so that a firing already posted when
// the timer is cancelled finds it cancelled instead of a destroyed object.
struct TimerState {
  MainQueue* queue = nullptr;
  double interval = 0;
  std::function<void()> fire;
  bool cancelled = false;
};

void scheduleNext(const std::shared_ptr<TimerState>& state) {
  state->queue->postAfter(state->interval, [weak = std::weak_ptr<TimerState>(state)] {
    const std::shared_ptr<TimerState> alive = weak.lock();
    if (!alive || alive->cancelled) return;
    scheduleNext(alive);
    // A copy: the firing may cancel the timer, which drops the stored function.
    const std::function<void()> fire = alive->fire;
    fire();
  });
}

class MainQueueTimer final : public RepeatingTimer {
 public:
  explicit MainQueueTimer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
  ~MainQueueTimer() override { cancel(); }
  void cancel() override {
    if (!state_) return;
    state_->cancelled = true;
    state_->fire = nullptr;
    state_.reset();
  }

 private:
  std::shared_ptr<TimerState> state_;
};

}  // namespace

std::unique_ptr<RepeatingTimer> mainQueueRepeatingTimer(MainQueue& queue, double interval,
                                                        std::function<void()> fire) {
  auto state = std::make_shared<TimerState>();
  state->queue = &queue;
  state->interval = interval;
  state->fire = std::move(fire);
  scheduleNext(state);
  return std::make_unique<MainQueueTimer>(std::move(state));
}

RepeatingTimerFactory mainQueueRepeatingTimers(MainQueue& queue) {
  return [&queue](double interval, std::function<void()> fire) {
    return mainQueueRepeatingTimer(queue, interval, std::move(fire));
  };
}

}  // namespace nubrik
