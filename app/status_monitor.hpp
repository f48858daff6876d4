#pragma once

#include <functional>
#include <memory>

#include "app/gui_status.hpp"
#include "app/main_queue.hpp"
#include "app/repeating_timer.hpp"
#include "core/date.hpp"

namespace nubrik {

// Tells, reading by reading, whether a session has just ended: on the first confirmed idle
// reading after at least one confirmed active one, however many unavailable readings lie between.
// A confirmed idle reading with no active one before it (the app starting) reports nothing.
class SessionCompletionTracker {
 public:
  bool observe(const GuiStatus& status);
  bool sawActive() const { return sawActive_; }

 private:
  bool sawActive_ = false;
};

// Polls the helper's public status for the menu bar and the windows: one reading at once when
// started, then one every `interval` seconds. Every published value, the tracker and the
// callbacks live on the main queue's thread; readings are applied there in the order they
// arrive, and a reading that arrives after the monitor is gone is dropped.
class StatusMonitor {
 public:
  // Calls its completion, from any thread and at any later time, with one reading.
  using Fetch = std::function<void(std::function<void(GuiStatusDetail)> completion)>;
  using Clock = std::function<Date()>;

  static constexpr double defaultInterval = 2.0;

  struct Dependencies {
    // Where readings are applied and callbacks run.
    MainQueue* mainQueue = nullptr;
    // The timer of the running monitor.
    RepeatingTimerFactory timers;
    // Empty: a settled read of the default status files on a thread of its own.
    Fetch fetch;
    // Empty: the system clock.
    Clock clock;
    double interval = defaultInterval;
  };

  explicit StatusMonitor(Dependencies dependencies);
  // Stops the timer; readings still on their way are dropped.
  ~StatusMonitor();
  StatusMonitor(const StatusMonitor&) = delete;
  StatusMonitor& operator=(const StatusMonitor&) = delete;

  // Polls once at once and then on every firing of a repeating timer; nothing while running.
  void start();
  void stop();
  bool isRunning() const { return timer_ != nullptr; }
  // One poll.
  void tick();

  // Initially unavailable(missing).
  const GuiStatus& status() const { return status_; }
  bool earlyUnlockPending() const { return earlyUnlockPending_; }
  // The clock's time at the last applied reading (at creation before the first).
  Date now() const { return now_; }

  // Called after every applied reading, so that a view can redraw.
  void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }
  // Called when a reading shows that a session has just ended.
  void setOnSessionCompleted(std::function<void()> onSessionCompleted) {
    onSessionCompleted_ = std::move(onSessionCompleted);
  }

 private:
  void apply(const GuiStatusDetail& detail);

  Dependencies dependencies_;
  GuiStatus status_ = GuiStatus::unavailable(StatusUnavailableReason::missing);
  bool earlyUnlockPending_ = false;
  Date now_;
  std::unique_ptr<RepeatingTimer> timer_;
  SessionCompletionTracker completionTracker_;
  std::function<void()> onChange_;
  std::function<void()> onSessionCompleted_;
  // The timer's firings and the readings on their way hold this weakly: once the monitor is gone
  // they find nothing and do nothing.
  std::shared_ptr<StatusMonitor*> self_;
};

}  // namespace nubrik
