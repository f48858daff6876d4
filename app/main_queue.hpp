#pragma once

#include <functional>

namespace nubrik {

// The thread that owns the app's state. Every outcome of a helper request and every time-out is
// delivered through it, so callers may touch their state without locks. The window binds it to
// the toolkit's event loop; the command line binds it to an EventLoop run on the main thread.
class MainQueue {
 public:
  virtual ~MainQueue() = default;

  // Runs work on the queue's thread later, in posting order. Safe from any thread.
  virtual void post(std::function<void()> work) = 0;
  // Runs work on the queue's thread once `seconds` have passed. Safe from any thread.
  virtual void postAfter(double seconds, std::function<void()> work) = 0;
  // True when called on the queue's own thread.
  virtual bool isCurrentThread() const = 0;
};

}  // namespace nubrik
