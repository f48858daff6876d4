#include "app/status_monitor.hpp"

#include <chrono>
#include <utility>

#include "app/status_reading.hpp"

namespace nubrik {

namespace {

// The monitor behind a weak handle, or none once it is gone. The handle is not kept locked, so
// that a callback which drops the monitor really ends it.
StatusMonitor* find(const std::weak_ptr<StatusMonitor*>& handle) {
  const std::shared_ptr<StatusMonitor*> alive = handle.lock();
  return alive ? *alive : nullptr;
}

}  // namespace

bool SessionCompletionTracker::observe(const GuiStatus& status) {
  switch (status.kind()) {
    case GuiStatus::Kind::confirmedActive:
      sawActive_ = true;
      return false;
    case GuiStatus::Kind::confirmedIdle: {
      const bool completed = sawActive_;
      sawActive_ = false;
      return completed;
    }
    case GuiStatus::Kind::unavailable:
      // A busy or unreadable moment says nothing about the session.
      return false;
  }
  return false;
}

StatusMonitor::StatusMonitor(Dependencies dependencies)
    : dependencies_(std::move(dependencies)), self_(std::make_shared<StatusMonitor*>(this)) {
  MainQueue* queue = dependencies_.mainQueue;
  if (!dependencies_.timers) dependencies_.timers = mainQueueRepeatingTimers(*queue);
  if (!dependencies_.fetch) {
    dependencies_.fetch = [queue](std::function<void(GuiStatusDetail)> completion) {
      refreshStatusDetail(std::nullopt, *queue, std::move(completion));
    };
  }
  if (!dependencies_.clock) dependencies_.clock = [] { return std::chrono::system_clock::now(); };
  now_ = dependencies_.clock();
}

StatusMonitor::~StatusMonitor() {
  stop();
}

void StatusMonitor::start() {
  if (timer_) return;
  tick();
  const std::weak_ptr<StatusMonitor*> weak = self_;
  timer_ = dependencies_.timers(dependencies_.interval, [weak] {
    if (StatusMonitor* monitor = find(weak)) monitor->tick();
  });
}

void StatusMonitor::stop() {
  if (!timer_) return;
  timer_->cancel();
  timer_.reset();
}

void StatusMonitor::tick() {
  const std::weak_ptr<StatusMonitor*> weak = self_;
  MainQueue* queue = dependencies_.mainQueue;
  // Always through the queue, even from its own thread, so that readings are applied in the
  // order they arrive whichever thread delivers them.
  dependencies_.fetch([weak, queue](GuiStatusDetail detail) {
    queue->post([weak, detail = std::move(detail)] {
      if (StatusMonitor* monitor = find(weak)) monitor->apply(detail);
    });
  });
}

void StatusMonitor::apply(const GuiStatusDetail& detail) {
  status_ = detail.status;
  earlyUnlockPending_ = detail.earlyUnlockPending;
  now_ = dependencies_.clock();
  const bool completed = completionTracker_.observe(status_);

  // A callback may drop the monitor; nothing of it is touched after that.
  const std::weak_ptr<StatusMonitor*> weak = self_;
  if (onChange_) {
    const std::function<void()> onChange = onChange_;
    onChange();
  }
  if (!completed || weak.expired() || !onSessionCompleted_) return;
  const std::function<void()> onSessionCompleted = onSessionCompleted_;
  onSessionCompleted();
}

}  // namespace nubrik
