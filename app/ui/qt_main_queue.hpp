#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "app/main_queue.hpp"

namespace nubrik {

// The main queue of the window: the event loop of the thread that made it (the GUI thread).
// Work posted from any thread runs there in posting order. Work still pending when the queue is
// destroyed never runs, so it may refer to objects that die with the queue.
class QtMainQueue final : public MainQueue {
 public:
  // Made on the GUI thread, whose event loop then runs everything posted.
  QtMainQueue();
  ~QtMainQueue() override;
  QtMainQueue(const QtMainQueue&) = delete;
  QtMainQueue& operator=(const QtMainQueue&) = delete;

  void post(std::function<void()> work) override;
  void postAfter(double seconds, std::function<void()> work) override;
  bool isCurrentThread() const override;

 private:
  // Receives every posted call; Qt drops the calls of a receiver that is gone.
  std::unique_ptr<QObject> context_;
};

}  // namespace nubrik
