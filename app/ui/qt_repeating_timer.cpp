#include "app/ui/qt_repeating_timer.hpp"

#include <QTimer>
#include <utility>

#include "app/ui/qt_interval.hpp"

namespace nubrik {

namespace {

class QtTimer final : public RepeatingTimer {
 public:
  QtTimer(double interval, std::function<void()> fire)
      : timer_(new QTimer), fire_(std::move(fire)), alive_(std::make_shared<bool>(true)) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(qtTimerMilliseconds(interval));
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { onTimeout(); });
    timer_->start();
  }

  ~QtTimer() override {
    cancel();
    *alive_ = false;
    // Deleting a QTimer inside its own timeout is not allowed; the event loop deletes it later.
    if (firing_) {
      timer_->deleteLater();
    } else {
      delete timer_;
    }
  }

  QtTimer(const QtTimer&) = delete;
  QtTimer& operator=(const QtTimer&) = delete;

  void cancel() override {
    // A stopped QTimer has no firing pending, so none comes after this.
    timer_->stop();
    QObject::disconnect(timer_, nullptr, nullptr, nullptr);
    fire_ = nullptr;
  }

 private:
  void onTimeout() {
    if (!fire_) return;
    // Copies: the firing may cancel this timer (dropping fire_) or destroy it altogether.
    const std::function<void()> fire = fire_;
    const std::shared_ptr<bool> alive = alive_;
    firing_ = true;
    fire();
    if (*alive) firing_ = false;
  }

  QTimer* timer_;
  std::function<void()> fire_;
  // False once this object is gone, for a firing that outlives it.
  std::shared_ptr<bool> alive_;
  bool firing_ = false;
};

}  // namespace

std::unique_ptr<RepeatingTimer> qtRepeatingTimer(double interval, std::function<void()> fire) {
  return std::make_unique<QtTimer>(interval, std::move(fire));
}

RepeatingTimerFactory qtRepeatingTimers() {
  return [](double interval, std::function<void()> fire) {
    return qtRepeatingTimer(interval, std::move(fire));
  };
}

}  // namespace nubrik
