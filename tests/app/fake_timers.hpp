#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/repeating_timer.hpp"

namespace nubrik::test {

// Repeating timers the test fires by hand. The record of each timer outlives the timer, so a test
// can see that it was cancelled or destroyed and fire it late.
struct FakeTimers {
  struct Record {
    double interval = 0;
    std::function<void()> fire;
    bool cancelled = false;
    bool destroyed = false;
    bool stopped() const { return cancelled || destroyed; }
  };

  RepeatingTimerFactory factory() {
    return [this](double interval, std::function<void()> fire) {
      made.push_back(std::make_shared<Record>(Record{interval, std::move(fire)}));
      return std::make_unique<Timer>(made.back());
    };
  }

  // Fires a timer as the main queue would: not once it is cancelled or gone.
  static void fire(const std::shared_ptr<Record>& record) {
    if (!record->stopped()) record->fire();
  }

  std::vector<std::shared_ptr<Record>> made;

 private:
  class Timer final : public RepeatingTimer {
   public:
    explicit Timer(std::shared_ptr<Record> record) : record_(std::move(record)) {}
    ~Timer() override { record_->destroyed = true; }
    void cancel() override { record_->cancelled = true; }

   private:
    std::shared_ptr<Record> record_;
  };
};

}  // namespace nubrik::test
