#include "app/xpc_request.hpp"

#include <gtest/gtest.h>

#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/session_client_fakes.hpp"

namespace nubrik {
namespace {

using test::FakeHelperConnection;
using test::FakeMainQueue;

// A request whose time-out fires only when the test runs the captured work.
struct Harness {
  FakeMainQueue queue;
  std::vector<std::function<void()>> timeouts;
  std::vector<std::string> delivered;
  std::shared_ptr<FakeHelperConnection> connection = std::make_shared<FakeHelperConnection>();
  std::shared_ptr<XPCRequest<std::string>> request = XPCRequest<std::string>::make(
      15, TimeoutScheduler::manual([this](auto work) { timeouts.push_back(std::move(work)); }),
      queue, [this](std::string outcome) { delivered.push_back(std::move(outcome)); });

  Harness() {
    request->start("timed out");
    request->retain(connection);
  }
};

TEST(XPCRequest, TheFirstOfReplyAndTimeOutDecidesAndClosesTheConnectionOnce) {
  for (const bool replyFirst : {true, false}) {
    Harness harness;
    ASSERT_EQ(harness.timeouts.size(), 1u);
    EXPECT_TRUE(harness.delivered.empty());
    if (replyFirst) harness.request->finish("reply");
    harness.timeouts[0]();
    harness.request->finish("reply");

    EXPECT_EQ(harness.delivered, std::vector<std::string>{replyFirst ? "reply" : "timed out"});
    EXPECT_EQ(harness.connection->invalidateCount, 1);
    EXPECT_FALSE(harness.request->retainsConnection());
  }
}

TEST(XPCRequest, InvalidationCausedByFinishDoesNotDeliverASecondOutcome) {
  Harness harness;
  // The fake runs the handler inside finish's invalidate, so a lock held there would deadlock.
  harness.connection->setInvalidationHandler(
      [request = harness.request](const ConnectionError&) { request->finish("invalidated"); });
  harness.request->finish("reply");
  EXPECT_EQ(harness.delivered, std::vector<std::string>{"reply"});
}

TEST(XPCRequest, AFinishedRequestKeepsNoConnectionAndArmsNoTimeOut) {
  Harness harness;
  harness.request->finish("reply");
  auto late = std::make_shared<FakeHelperConnection>();
  harness.request->retain(late);
  harness.request->start("timed out");

  EXPECT_EQ(late.use_count(), 1);
  EXPECT_EQ(harness.timeouts.size(), 1u);
}

TEST(XPCRequest, ATimeOutThatFiresWhileBeingArmedIsCancelledAtOnce) {
  FakeMainQueue queue;
  std::vector<std::string> delivered;
  int cancels = 0;
  TimeoutScheduler immediate{[&cancels](double, std::function<void()> work) {
    work();
    return CancellableWork{[&cancels] { ++cancels; }, {}};
  }};
  auto request = XPCRequest<std::string>::make(
      15, immediate, queue, [&delivered](std::string outcome) { delivered.push_back(outcome); });

  request->start("timed out");
  request->finish("reply");

  EXPECT_EQ(delivered, std::vector<std::string>{"timed out"});
  EXPECT_EQ(cancels, 1);
}

TEST(XPCRequest, OffTheMainThreadTheOutcomeAndThenTheGateReleaseArePosted) {
  Harness harness;
  harness.queue.onMainThread = false;
  harness.request->finish("reply", [&harness] { harness.delivered.push_back("gate released"); });
  EXPECT_TRUE(harness.delivered.empty());
  harness.queue.drain();
  EXPECT_EQ(harness.delivered, (std::vector<std::string>{"reply", "gate released"}));
}

// Replies and time-outs come from different threads in real use.
TEST(XPCRequest, AReplyRacingTheTimeOutDeliversExactlyOneOutcome) {
  for (int round = 0; round < 300; ++round) {
    Harness harness;
    harness.queue.onMainThread = false;
    std::barrier sync(2);
    std::thread replier([&] {
      sync.arrive_and_wait();
      harness.request->finish("reply");
    });
    std::thread timer([&] {
      sync.arrive_and_wait();
      harness.timeouts[0]();
    });
    replier.join();
    timer.join();

    ASSERT_EQ(harness.queue.posted.size(), 1u) << "round " << round;
    EXPECT_EQ(harness.connection->invalidateCount, 1) << "round " << round;
  }
}

}  // namespace
}  // namespace nubrik
