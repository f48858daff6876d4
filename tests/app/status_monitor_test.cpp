#include "app/status_monitor.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/app/fake_timers.hpp"
#include "tests/app/session_client_fakes.hpp"

namespace nubrik {
namespace {

const Date expiration = dateFromReferenceSeconds(900'000'000.0);
const GuiStatus active = GuiStatus::confirmedActive(expiration, 600);
const GuiStatus idle = GuiStatus::confirmedIdle();
const GuiStatus busy = GuiStatus::unavailable(StatusUnavailableReason::busy);
const GuiStatus malformed = GuiStatus::unavailable(StatusUnavailableReason::malformed);

TEST(SessionCompletionTracker, ReportsASessionEndOnceAtTheFirstIdleAfterActive) {
  struct Case {
    const char* name;
    std::vector<GuiStatus> readings;
    std::vector<bool> completed;
  };
  const std::vector<Case> cases = {
      {"active, busy, busy, idle", {active, busy, busy, idle}, {false, false, false, true}},
      {"idle, idle at start-up", {idle, idle}, {false, false}},
      {"active, active", {active, active}, {false, false}},
      {"one report for two idles", {active, idle, idle}, {false, true, false}},
      {"malformed is no session", {malformed, idle}, {false, false}},
      {"two sessions",
       {active, idle, busy, active, malformed, idle},
       {false, true, false, false, false, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SessionCompletionTracker tracker;
    std::vector<bool> completed;
    for (const auto& reading : c.readings) completed.push_back(tracker.observe(reading));
    EXPECT_EQ(completed, c.completed);
  }
}

class StatusMonitorTest : public ::testing::Test {
 protected:
  std::unique_ptr<StatusMonitor> makeMonitor() {
    auto monitor = std::make_unique<StatusMonitor>(StatusMonitor::Dependencies{
        &queue,
        timers.factory(),
        [this](std::function<void(GuiStatusDetail)> completion) {
          pending.push_back(std::move(completion));
        },
        [this] { return clock; },
    });
    monitor->setOnChange([this] { ++changes; });
    monitor->setOnSessionCompleted([this] { ++completions; });
    return monitor;
  }

  // Answers the oldest outstanding poll; the answer waits on the queue like a real one.
  void answer(GuiStatus status, bool earlyUnlockPending = false) {
    ASSERT_FALSE(pending.empty());
    auto completion = std::move(pending.front());
    pending.erase(pending.begin());
    completion({status, earlyUnlockPending});
  }

  test::FakeMainQueue queue;
  test::FakeTimers timers;
  std::vector<std::function<void(GuiStatusDetail)>> pending;
  Date clock = dateFromReferenceSeconds(800'000'000.0);
  int changes = 0;
  int completions = 0;
};

TEST_F(StatusMonitorTest, PollsAtOnceThenOnEveryFiring) {
  auto monitor = makeMonitor();
  monitor->start();
  EXPECT_EQ(pending.size(), 1u);
  ASSERT_EQ(timers.made.size(), 1u);
  EXPECT_EQ(timers.made[0]->interval, 2.0);

  monitor->start();
  EXPECT_EQ(pending.size(), 1u) << "a running monitor does not start again";
  EXPECT_EQ(timers.made.size(), 1u);

  timers.made[0]->fire();
  timers.made[0]->fire();
  EXPECT_EQ(pending.size(), 3u);

  monitor->stop();
  EXPECT_TRUE(timers.made[0]->stopped());
  EXPECT_FALSE(monitor->isRunning());
  monitor->start();
  EXPECT_EQ(pending.size(), 4u) << "a restarted monitor polls at once again";
  monitor.reset();
  ASSERT_EQ(timers.made.size(), 2u);
  EXPECT_TRUE(timers.made[1]->stopped()) << "dropping the monitor stops its timer";
}

TEST_F(StatusMonitorTest, AppliesEachReadingOnTheMainQueue) {
  auto monitor = makeMonitor();
  monitor->tick();
  answer(active, true);
  EXPECT_EQ(monitor->status(), GuiStatus::unavailable(StatusUnavailableReason::missing))
      << "nothing changes before the main queue runs the reading";
  EXPECT_EQ(changes, 0);

  clock = addSeconds(clock, 2.0);
  queue.drain();
  EXPECT_EQ(monitor->status(), active);
  EXPECT_TRUE(monitor->earlyUnlockPending());
  EXPECT_EQ(monitor->now(), clock);
  EXPECT_EQ(changes, 1);

  monitor->tick();
  answer(malformed, false);
  queue.drain();
  EXPECT_EQ(monitor->status(), malformed);
  EXPECT_FALSE(monitor->earlyUnlockPending());
  EXPECT_EQ(changes, 2);
}

// Overlapping polls: the later answer that arrives first is applied first, and the one that
// arrives last stands.
TEST_F(StatusMonitorTest, AppliesOverlappingReadingsInTheOrderTheyArrive) {
  auto monitor = makeMonitor();
  monitor->tick();
  monitor->tick();
  auto first = std::move(pending[0]);
  auto second = std::move(pending[1]);
  second({active, false});
  first({idle, false});
  queue.drain();
  EXPECT_EQ(monitor->status(), idle);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(completions, 1) << "active, then idle, as they arrived";
}

TEST_F(StatusMonitorTest, DropsAReadingThatArrivesAfterTheMonitorIsGone) {
  auto monitor = makeMonitor();
  monitor->start();
  monitor->tick();
  ASSERT_EQ(pending.size(), 2u);
  answer(active);  // already on the queue when the monitor goes
  monitor.reset();
  answer(idle);  // arrives afterwards
  EXPECT_EQ(queue.drain(), 2);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(completions, 0);
  timers.made.back()->fire();  // a firing that raced the cancellation finds nothing
  EXPECT_TRUE(pending.empty());
}

// A view that closes on a redraw takes the monitor with it; the completion of that same reading
// is not reported by a monitor that no longer exists.
TEST_F(StatusMonitorTest, ACallbackMayDropTheMonitor) {
  auto monitor = makeMonitor();
  monitor->tick();
  answer(active);
  queue.drain();
  monitor->setOnChange([&] { monitor.reset(); });
  monitor->tick();
  answer(idle);
  queue.drain();
  EXPECT_EQ(monitor, nullptr);
  EXPECT_EQ(completions, 0);
}

}  // namespace
}  // namespace nubrik
