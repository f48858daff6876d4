#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/helper_connection.hpp"
#include "app/main_queue.hpp"

namespace nubrik::test {

// A main queue that the test drains by hand; delayed work never runs. isCurrentThread() answers
// what the test says.
class FakeMainQueue : public MainQueue {
 public:
  void post(std::function<void()> work) override { posted.push_back(std::move(work)); }
  void postAfter(double, std::function<void()>) override {}
  bool isCurrentThread() const override { return onMainThread; }

  // Runs what was posted so far (and what that posts); returns how many ran.
  int drain() {
    int ran = 0;
    while (!posted.empty()) {
      auto work = std::move(posted.front());
      posted.erase(posted.begin());
      work();
      ++ran;
    }
    return ran;
  }

  bool onMainThread = true;
  std::vector<std::function<void()>> posted;
};

// A connection whose replies and failures the test triggers. Like the real one, invalidation runs
// the invalidation handler once and then forgets every handler.
class FakeHelperConnection : public HelperConnection {
 public:
  void setInterruptionHandler(ConnectionErrorHandler handler) override {
    interruption = std::move(handler);
  }
  void setInvalidationHandler(ConnectionErrorHandler handler) override {
    invalidation = std::move(handler);
  }
  void setRequestErrorHandler(ConnectionErrorHandler handler) override {
    requestError = std::move(handler);
  }
  void resume() override {}
  void invalidate() override {
    ++invalidateCount;
    if (invalidated) return;
    invalidated = true;
    auto handler = std::move(invalidation);
    forget();
    if (handler) handler({"invalidated"});
  }

  void startSession(double durationSeconds, StartReplyHandler reply) override {
    sent.push_back("StartSessionWithDuration");
    startDuration = durationSeconds;
    startReply = std::move(reply);
  }
  void healthCheck(HealthReplyHandler reply) override {
    sent.push_back("HealthCheck");
    healthReply = std::move(reply);
  }
  void prepareRestart(RestartReplyHandler) override { sent.push_back("PrepareRestart"); }
  void requestEarlyUnlock(EarlyUnlockReplyHandler reply) override {
    sent.push_back("RequestEarlyUnlock");
    earlyUnlockReply = std::move(reply);
  }
  void cancelEarlyUnlock(EarlyUnlockReplyHandler reply) override {
    sent.push_back("CancelEarlyUnlock");
    earlyUnlockReply = std::move(reply);
  }
  void setSchedules(std::string payload, ScheduleSetReplyHandler reply) override {
    sent.push_back("SetSchedules");
    schedulePayload = std::move(payload);
    scheduleSetReply = std::move(reply);
  }
  void getSchedules(ScheduleGetReplyHandler reply) override {
    sent.push_back("GetSchedules");
    scheduleGetReply = std::move(reply);
  }

  // Drops every handler, as a closed connection does; the test's way to break the cycle through a
  // request that never finished.
  void forgetEverything() {
    invalidation = nullptr;
    forget();
    startReply = nullptr;
    healthReply = nullptr;
    earlyUnlockReply = nullptr;
    scheduleSetReply = nullptr;
    scheduleGetReply = nullptr;
  }

  // The channel breaks: interruption, then invalidation.
  void interrupt() {
    if (auto handler = interruption) handler({"lost"});
    invalidate();
  }
  void failRequest() {
    if (auto handler = requestError) handler({"error reply"});
  }

  ConnectionErrorHandler interruption;
  ConnectionErrorHandler invalidation;
  ConnectionErrorHandler requestError;
  int invalidateCount = 0;
  bool invalidated = false;
  std::vector<std::string> sent;
  std::optional<double> startDuration;
  std::string schedulePayload;
  StartReplyHandler startReply;
  HealthReplyHandler healthReply;
  EarlyUnlockReplyHandler earlyUnlockReply;
  ScheduleSetReplyHandler scheduleSetReply;
  ScheduleGetReplyHandler scheduleGetReply;

 private:
  void forget() {
    interruption = nullptr;
    requestError = nullptr;
  }
};

}  // namespace nubrik::test
