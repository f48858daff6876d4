#pragma once

// The least an enforcer can do, as a yardstick for the daemon's reaction time: a thread that
// listens to the kernel's link notifications and, for every link other than the loopback device
// reported up, at once asks the kernel to clear IFF_UP on it. It lists nothing and asks nothing
// about the links; it keeps no session and writes no file.

#include <sys/types.h>

#include <atomic>
#include <thread>

namespace nubrik::bench {

class MinimalEnforcer {
 public:
  // Subscribed before the constructor returns, so every link turned on afterwards is seen.
  // Throws std::system_error when the sockets cannot be opened.
  MinimalEnforcer();
  // Stops and joins the thread.
  ~MinimalEnforcer();
  MinimalEnforcer(const MinimalEnforcer&) = delete;
  MinimalEnforcer& operator=(const MinimalEnforcer&) = delete;

  // The thread's id, for its scheduler statistics; 0 until the thread has started.
  pid_t threadId() const { return threadId_.load(); }
  bool running() const { return !failed_.load(); }
  // Requests sent to clear IFF_UP, and notifications lost to a full queue.
  int corrections() const { return corrections_.load(); }
  int overflows() const { return overflows_.load(); }

 private:
  void run();
  void bringDown(int index);

  int socket_ = -1;
  int stop_ = -1;  // an eventfd that ends the thread
  std::atomic<pid_t> threadId_{0};
  std::atomic<bool> failed_{false};
  std::atomic<int> corrections_{0};
  std::atomic<int> overflows_{0};
  std::thread thread_;
};

}  // namespace nubrik::bench
