#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "app/helper_connection.hpp"
#include "app/main_queue.hpp"
#include "app/timeout_scheduler.hpp"

namespace nubrik {

// One request to the helper, from its set-up to its single outcome. Replies, connection handlers
// and the time-out race to finish it from different threads; the first finisher decides the
// outcome and everything after it is dropped. The outcome reaches `deliver` on the main queue.
template <typename Outcome>
class XPCRequest : public std::enable_shared_from_this<XPCRequest<Outcome>> {
 public:
  using Deliver = std::function<void(Outcome outcome)>;
  using Invalidate = std::function<void(HelperConnection& connection)>;

  static std::shared_ptr<XPCRequest> make(double timeout, TimeoutScheduler scheduler,
                                          MainQueue& mainQueue, Deliver deliver,
                                          Invalidate invalidate = closeConnection) {
    return std::shared_ptr<XPCRequest>(new XPCRequest(timeout, std::move(scheduler), mainQueue,
                                                      std::move(deliver), std::move(invalidate)));
  }

  XPCRequest(const XPCRequest&) = delete;
  XPCRequest& operator=(const XPCRequest&) = delete;

  // Arms the time-out, which finishes the request with timeoutOutcome.
  void start(Outcome timeoutOutcome) {
    {
      std::lock_guard guard(lock_);
      if (finished_) return;
    }
    // The scheduler may run the work at once, so it is asked without the lock; the work holds the
    // request weakly so that an abandoned request is not kept alive by its own time-out.
    std::weak_ptr<XPCRequest> weakSelf = this->weak_from_this();
    CancellableWork work = scheduler_.schedule(timeout_, [weakSelf, timeoutOutcome] {
      if (auto self = weakSelf.lock()) self->finish(timeoutOutcome);
    });
    bool cancelNow = false;
    {
      std::lock_guard guard(lock_);
      if (finished_) {
        cancelNow = true;
      } else {
        timeoutWork_ = std::move(work);
      }
    }
    if (cancelNow && work.cancel) work.cancel();
  }

  // Holds the connection until the request finishes; a finished request does not keep it.
  void retain(std::shared_ptr<HelperConnection> connection) {
    std::lock_guard guard(lock_);
    if (!finished_) retainedConnection_ = std::move(connection);
  }

  // The first call decides the outcome: it cancels the time-out, closes the connection and
  // delivers; every later call does nothing. releaseGate runs right after the delivery.
  void finish(Outcome outcome, std::function<void()> releaseGate = {}) {
    std::shared_ptr<HelperConnection> connection;
    std::optional<CancellableWork> work;
    {
      std::lock_guard guard(lock_);
      if (finished_) return;
      finished_ = true;
      connection = std::move(retainedConnection_);
      retainedConnection_.reset();
      work = std::move(timeoutWork_);
      timeoutWork_.reset();
    }
    if (work && work->cancel) work->cancel();
    // Closing the connection fires its invalidation handler, whose finish is dropped above.
    if (connection) invalidate_(*connection);
    if (mainQueue_.isCurrentThread()) {
      deliver_(std::move(outcome));
      if (releaseGate) releaseGate();
      return;
    }
    auto self = this->shared_from_this();
    mainQueue_.post([self, outcome = std::move(outcome), releaseGate = std::move(releaseGate)] {
      self->deliver_(outcome);
      if (releaseGate) releaseGate();
    });
  }

  bool isFinished() const {
    std::lock_guard guard(lock_);
    return finished_;
  }

  bool retainsConnection() const {
    std::lock_guard guard(lock_);
    return retainedConnection_ != nullptr;
  }

  static void closeConnection(HelperConnection& connection) { connection.invalidate(); }

 private:
  XPCRequest(double timeout, TimeoutScheduler scheduler, MainQueue& mainQueue, Deliver deliver,
             Invalidate invalidate)
      : timeout_(timeout),
        scheduler_(std::move(scheduler)),
        mainQueue_(mainQueue),
        deliver_(std::move(deliver)),
        invalidate_(std::move(invalidate)) {}

  mutable std::mutex lock_;
  bool finished_ = false;
  const double timeout_;
  const TimeoutScheduler scheduler_;
  MainQueue& mainQueue_;
  const Deliver deliver_;
  const Invalidate invalidate_;
  std::shared_ptr<HelperConnection> retainedConnection_;
  std::optional<CancellableWork> timeoutWork_;
};

// A flag that exactly one caller can claim.
class OnceFlag {
 public:
  // True for the first caller only.
  bool claim() {
    std::lock_guard guard(mutex_);
    if (claimed_) return false;
    claimed_ = true;
    return true;
  }

 private:
  std::mutex mutex_;
  bool claimed_ = false;
};

// Keeps a second session start from being sent while one is in flight.
class StartRequestGate {
 public:
  // True when no start was in flight; the caller then owns the gate until end().
  bool tryBegin() {
    std::lock_guard guard(mutex_);
    if (inFlight_) return false;
    inFlight_ = true;
    return true;
  }
  void end() {
    std::lock_guard guard(mutex_);
    inFlight_ = false;
  }
  bool isInFlight() const {
    std::lock_guard guard(mutex_);
    return inFlight_;
  }

 private:
  mutable std::mutex mutex_;
  bool inFlight_ = false;
};

}  // namespace nubrik
