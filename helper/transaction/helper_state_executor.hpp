#pragma once

#include <mutex>
#include <utility>

namespace nubrik {

// The serial "queue" on which every helper transaction of this process runs. The daemon drives
// everything from its one event-loop thread, but bus handlers and command-line runs must still
// never overlap, so the executor admits one caller at a time; a caller that already runs on it
// (a transaction that starts another) runs inline instead of deadlocking on itself.
class HelperStateExecutor {
 public:
  static constexpr const char* label = "com.nubrik.helper.state";

  static HelperStateExecutor& shared();

  // Whether the calling thread is currently running a body on this executor.
  static bool isOnQueue();

  // Runs the body serialised with every other body of the process and returns its result,
  // rethrowing its error.
  template <typename Body>
  decltype(auto) sync(Body&& body) {
    if (isOnQueue()) return std::forward<Body>(body)();
    std::lock_guard<std::mutex> serial(mutex_);
    QueueScope scope;
    return std::forward<Body>(body)();
  }

  HelperStateExecutor(const HelperStateExecutor&) = delete;
  HelperStateExecutor& operator=(const HelperStateExecutor&) = delete;

 private:
  HelperStateExecutor() = default;

  // Marks the calling thread as running on the executor for the scope's lifetime.
  class QueueScope {
   public:
    QueueScope();
    ~QueueScope();
    QueueScope(const QueueScope&) = delete;
    QueueScope& operator=(const QueueScope&) = delete;
  };

  std::mutex mutex_;
};

}  // namespace nubrik
