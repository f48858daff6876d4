#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "app/event_loop.hpp"
#include "app/status_monitor.hpp"
#include "app/status_reading.hpp"
#include "core/helper_status.hpp"
#include "helper/transaction/helper_transaction.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

// The app's monitor with its production reads (a thread per poll), over the status and
// generation files that the helper's own transactions publish in a directory of the test's.
class StatusMonitorPublisherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    monitor = std::make_unique<StatusMonitor>(StatusMonitor::Dependencies{
        &loop,
        // The test polls by hand; the timer is there but never comes due.
        mainQueueRepeatingTimers(loop),
        [this](std::function<void(GuiStatusDetail)> completion) {
          refreshStatusDetail(dir.file("status.json"), loop, std::move(completion));
        },
        {},
        3600.0,
    });
    monitor->setOnChange([this] { ++applied; });
    monitor->setOnSessionCompleted([this] { ++completions; });
  }
  void TearDown() override { monitor.reset(); }

  // One poll, waited for: the read runs on a thread of its own and comes back on the loop.
  GuiStatusDetail poll() {
    const int before = applied;
    monitor->tick();
    loop.runUntil([&] { return applied > before; });
    return {monitor->status(), monitor->earlyUnlockPending()};
  }

  void publish(const HelperStatus& status) {
    runner.run(StatusEffect::publishes,
               [&](Transaction& tx) { tx.sessions().writeStatus(status); });
  }

  TempDir dir;
  TransactionRunner runner{StatePaths::inDirectory(dir.path()), wallClock(), {}};
  EventLoop loop;
  std::unique_ptr<StatusMonitor> monitor;
  int applied = 0;
  int completions = 0;
};

TEST_F(StatusMonitorPublisherTest, ASessionSeenToEndIsReportedOnce) {
  const GuiStatus idle = GuiStatus::confirmedIdle();
  const Date expiration = dateFromReferenceSeconds(915148800.0);

  monitor->start();
  loop.runUntil([&] { return applied == 1; });
  EXPECT_EQ(monitor->status(), GuiStatus::unavailable(StatusUnavailableReason::missing))
      << "nothing published yet";

  publish(HelperStatus::idle());
  EXPECT_EQ(poll().status, idle);
  EXPECT_EQ(completions, 0) << "idle at start-up is no completion";

  publish(HelperStatus{true, expiration, 600, std::nullopt});
  EXPECT_EQ(poll(), (GuiStatusDetail{GuiStatus::confirmedActive(expiration, 600), false}));
  publish(HelperStatus{true, expiration, 540, true});
  EXPECT_EQ(poll(), (GuiStatusDetail{GuiStatus::confirmedActive(expiration, 540), true}));

  // A change the helper has not finished shows as malformed, never as active.
  publish(HelperStatus::pending());
  EXPECT_EQ(poll(),
            (GuiStatusDetail{GuiStatus::unavailable(StatusUnavailableReason::malformed), false}));

  // While a transaction runs the generation is odd: after its re-reads the poll is still busy.
  std::optional<GuiStatusDetail> during;
  runner.run(StatusEffect::publishes, [&](Transaction& tx) {
    during = poll();
    tx.sessions().writeStatusIdle();
  });
  EXPECT_EQ(during->status, GuiStatus::unavailable(StatusUnavailableReason::busy));
  EXPECT_EQ(completions, 0);

  EXPECT_EQ(poll().status, idle);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(poll().status, idle);
  EXPECT_EQ(completions, 1);
}

// A read given the helper's status file finds the generation the helper wrote beside it.
TEST_F(StatusMonitorPublisherTest, AnExplicitStatusFileReadsTheGenerationBesideIt) {
  publish(HelperStatus::idle());
  EXPECT_EQ(fetchStatus(dir.file("status.json")), GuiStatus::confirmedIdle());
}

}  // namespace
}  // namespace nubrik
