#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "core/unique_fd.hpp"

namespace nubrik {

// A thread of its own that runs blocking work one job at a time, in posting order: the service
// manager's requests of helper setup (which may wait minutes for an administrator's password)
// and the login-item changes. Jobs report back through the main queue themselves.
class SerialWorker {
 public:
  // Throws std::system_error when the thread or its stop signal cannot be made.
  SerialWorker();
  // Drops the jobs not yet begun, raises the stop signal so that a job waiting on it gives up, and
  // waits for the running one. Never from a job of its own.
  ~SerialWorker();
  SerialWorker(const SerialWorker&) = delete;
  SerialWorker& operator=(const SerialWorker&) = delete;

  // Safe from any thread; does nothing once the worker is stopping.
  void post(std::function<void()> job);

  // A descriptor that becomes readable when the worker stops: a job that waits on a descriptor of
  // its own polls this one too and gives up when it fires.
  int stopFd() const { return stopFd_.get(); }

 private:
  void run();

  UniqueFd stopFd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace nubrik
