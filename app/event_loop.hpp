#pragma once

#include <systemd/sd-event.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "app/main_queue.hpp"
#include "core/sd_handles.hpp"
#include "core/unique_fd.hpp"

namespace nubrik {

// An sd-event loop that the app's bus connections attach to, usable as a main queue.
//
// The command line runs one on its main thread: it is the main queue, and the connections'
// replies arrive on the same thread, so nothing is shared between threads. The window runs one
// on a thread of its own for the connections and delivers outcomes through the toolkit's queue.
// Work can be posted from any thread; everything else belongs to the thread that runs the loop.
class EventLoop final : public MainQueue {
 public:
  // Throws std::system_error when the loop cannot be made. The loop's thread is the one that last
  // called run() or runUntil(); before that, work is always posted.
  EventLoop();
  // Work still posted then runs on the destroying thread first, so that connections close.
  ~EventLoop() override;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  sd_event* event() const { return event_.get(); }

  void post(std::function<void()> work) override;
  void postAfter(double seconds, std::function<void()> work) override;
  bool isCurrentThread() const override;

  // Runs the loop on the calling thread until done() holds after a dispatch, or stop() was
  // called. Throws std::system_error when the loop fails.
  void runUntil(const std::function<bool()>& done);
  // Runs until stop().
  void run();
  // Ends run() and runUntil(), now and for good. Safe from any thread.
  void stop();

 private:
  static int onWakeup(sd_event_source* source, int fd, uint32_t revents, void* userdata);
  static int onTimer(sd_event_source* source, uint64_t usec, void* userdata);
  void addTimer(double seconds, std::function<void()> work);
  // Runs the posted work; returns false when there was none.
  bool runPosted();

  EventHandle event_;
  UniqueFd wakeFd_;
  EventSourceHandle wakeSource_;
  std::mutex mutex_;
  std::vector<std::function<void()>> posted_;
  std::atomic<std::thread::id> thread_{};
  std::atomic<bool> stopped_{false};
  // Armed timers and their work, by source; touched on the loop's thread only.
  struct Timer {
    EventSourceHandle source;
    std::function<void()> work;
  };
  std::map<sd_event_source*, Timer> timers_;
};

}  // namespace nubrik
