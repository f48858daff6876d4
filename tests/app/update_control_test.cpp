#include "app/update_control.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "tests/app/fake_timers.hpp"

namespace nubrik {
namespace {

const Date expiration = dateFromReferenceSeconds(800000000.0);

const std::vector<GuiStatus> notIdle = {GuiStatus::confirmedActive(expiration, 600),
                                        GuiStatus::unavailable(StatusUnavailableReason::busy)};

// Counts what the controller asks of the updater.
struct FakeUpdater final : Updater {
  explicit FakeUpdater(bool startSucceeds) : starts(startSucceeds) {}
  bool start() override {
    ++startCalls;
    return starts;
  }
  void checkForUpdates() override { ++checkCalls; }

  bool starts;
  int startCalls = 0;
  int checkCalls = 0;
};

class UpdateControllerTest : public ::testing::Test {
 protected:
  std::unique_ptr<UpdateController> makeController() {
    UpdateControllerDependencies dependencies;
    dependencies.statusProvider = [this] { return status; };
    dependencies.makeUpdater = [this](UpdaterDelegate&) {
      ++updatersMade;
      auto made = std::make_unique<FakeUpdater>(startSucceeds);
      updater = made.get();
      return made;
    };
    dependencies.timers = timers.factory();
    return std::make_unique<UpdateController>(std::move(dependencies));
  }

  GuiStatus status = GuiStatus::confirmedIdle();
  bool startSucceeds = true;
  int updatersMade = 0;
  FakeUpdater* updater = nullptr;
  test::FakeTimers timers;
};

TEST_F(UpdateControllerTest, ChecksAndUpdatesAreRefusedUnlessIdle) {
  const auto controller = makeController();
  const UpdateRefusal refusal{"Nubrik.Update", 1,
                              "Updates are only checked while no session is active."};
  for (const GuiStatus& each : notIdle) {
    status = each;
    EXPECT_EQ(controller->mayPerformUpdateCheck(), refusal);
    EXPECT_EQ(controller->mayProceedWithUpdate(), refusal);
    EXPECT_FALSE(controller->checkForUpdatesIsEnabled());
  }
  status = GuiStatus::confirmedIdle();
  EXPECT_EQ(controller->mayPerformUpdateCheck(), std::nullopt);
  EXPECT_EQ(controller->mayProceedWithUpdate(), std::nullopt);
  EXPECT_TRUE(controller->checkForUpdatesIsEnabled());
}

TEST_F(UpdateControllerTest, StartsTheUpdaterOnceAndOnlyWhenAsked) {
  startSucceeds = false;
  const auto controller = makeController();
  EXPECT_EQ(updatersMade, 0);
  EXPECT_FALSE(controller->hasStarted());

  controller->start();
  controller->start();
  EXPECT_TRUE(controller->hasStarted());
  ASSERT_EQ(updatersMade, 1);
  // A failed start is not retried.
  EXPECT_EQ(updater->startCalls, 1);

  controller->checkForUpdates();
  controller->checkForUpdates();
  EXPECT_EQ(updatersMade, 1);
  EXPECT_EQ(updater->startCalls, 1);
  EXPECT_EQ(updater->checkCalls, 2);
}

TEST_F(UpdateControllerTest, PostponingAgainKeepsOnlyTheNewestActionAndOneTimer) {
  const auto controller = makeController();
  status = GuiStatus::unavailable(StatusUnavailableReason::busy);
  std::vector<int> installed;
  EXPECT_TRUE(controller->shouldPostponeRelaunch([&] { installed.push_back(1); }));
  EXPECT_TRUE(controller->shouldPostponeRelaunch([&] { installed.push_back(2); }));
  ASSERT_EQ(timers.made.size(), 2u);
  EXPECT_TRUE(timers.made[0]->destroyed);
  EXPECT_FALSE(timers.made[1]->destroyed);

  status = GuiStatus::confirmedIdle();
  test::FakeTimers::fire(timers.made[0]);
  test::FakeTimers::fire(timers.made[1]);
  EXPECT_EQ(installed, std::vector<int>{2});
}

TEST_F(UpdateControllerTest, ControllerGoneStopsThePoll) {
  auto controller = makeController();
  status = GuiStatus::confirmedActive(expiration, 600);
  int installs = 0;
  controller->shouldPostponeRelaunch([&] { ++installs; });
  controller.reset();
  ASSERT_EQ(timers.made.size(), 1u);
  EXPECT_TRUE(timers.made[0]->destroyed);
  EXPECT_EQ(installs, 0);
}

TEST(IdleInstallGate, HeldActionIsClearedBeforeItRuns) {
  IdleInstallGate gate;
  int runs = 0;
  const GuiStatus idle = GuiStatus::confirmedIdle();
  EXPECT_TRUE(gate.hold(GuiStatus::unavailable(StatusUnavailableReason::malformed), [&] {
    ++runs;
    // An action that reports idle again (as a relaunch might) must not run a second time.
    EXPECT_FALSE(gate.isHolding());
    gate.statusChanged(idle);
  }));
  gate.statusChanged(GuiStatus::unavailable(StatusUnavailableReason::busy));
  EXPECT_EQ(runs, 0);
  gate.statusChanged(idle);
  gate.statusChanged(idle);
  EXPECT_EQ(runs, 1);
  // Holding while idle keeps nothing.
  EXPECT_FALSE(gate.hold(idle, [&] { ++runs; }));
  gate.statusChanged(idle);
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace nubrik
