#include "helper/service/restart_coordinator.hpp"

#include <gtest/gtest.h>
#include <time.h>

#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"
namespace nubrik {
namespace {

class RestartCoordinatorTest : public ::testing::Test {
 protected:
  RestartCoordinator coordinator() {
    return RestartCoordinator({[this] { return stored; }, [this] { ++exits; },
                               [this] { return restarting; }, [this] { restarting = true; }});
  }

  bool restarting = false;

  SessionLoadResult stored = SessionAbsent{};
  int exits = 0;
};

TEST_F(RestartCoordinatorTest, OnlyAnIdleHelperMayRestart) {
  OfflineSession session;
  session.id = "S";
  const std::vector<std::pair<SessionLoadResult, HelperRestartResultCode>> table = {
      {session, HelperRestartResultCode::sessionActive},
      {CorruptSessionInfo{}, HelperRestartResultCode::notIdle},
      {RecoveryPendingMarker{}, HelperRestartResultCode::notIdle},
  };
  for (const auto& [state, code] : table) {
    stored = state;
    EXPECT_EQ(coordinator().prepareRestart(), code);
  }
  EXPECT_FALSE(restarting);
  EXPECT_EQ(exits, 0);
}

TEST_F(RestartCoordinatorTest, AnAcceptedRestartSchedulesOneExitOnly) {
  EXPECT_EQ(coordinator().prepareRestart(), HelperRestartResultCode::accepted);
  EXPECT_TRUE(restarting);
  EXPECT_EQ(exits, 1);
  // Even a session stored meanwhile does not matter: the exit is already on its way.
  OfflineSession session;
  stored = session;
  EXPECT_EQ(coordinator().prepareRestart(), HelperRestartResultCode::accepted);
  EXPECT_EQ(exits, 1);
}

class ExitSchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(sd_event_new(&event), 0); }
  void TearDown() override { sd_event_unref(event); }

  void runUntilIdle() {
    for (int i = 0; i < 20 && sd_event_run(event, 0) > 0; ++i) {
    }
  }

  sd_event* event = nullptr;
};

TEST_F(ExitSchedulerTest, FiresOnceAboutOneSecondAfterTheRequest) {
  int fired = 0;
  ExitScheduler scheduler(event, [&] { ++fired; });
  EXPECT_FALSE(scheduler.isScheduled());

  uint64_t before = 0;
  ASSERT_GE(sd_event_now(event, CLOCK_MONOTONIC, &before), 0);
  scheduler.schedule();
  ASSERT_TRUE(scheduler.deadline());
  EXPECT_GE(*scheduler.deadline(), before + 1'000'000);
  EXPECT_LT(*scheduler.deadline(), before + 2'000'000);

  // Not yet due: the reply goes out first.
  runUntilIdle();
  EXPECT_EQ(fired, 0);

  // A second request neither re-arms nor moves the exit.
  const uint64_t deadline = *scheduler.deadline();
  scheduler.schedule();
  EXPECT_EQ(scheduler.deadline(), deadline);

  scheduler.expireForTest();
  runUntilIdle();
  EXPECT_EQ(fired, 1);
  scheduler.schedule();
  runUntilIdle();
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(scheduler.isScheduled());
}

}  // namespace
}  // namespace nubrik
