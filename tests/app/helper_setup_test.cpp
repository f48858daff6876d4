#include "app/helper_setup.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/nubrik_xpc.hpp"
#include "tests/app/helper_setup_fakes.hpp"

namespace nubrik {
namespace {

using ::testing::AllOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::SizeIs;

// The shared fakes, with every answer the test gives required to find a completion waiting.
struct SetupFakes : test::HelperSetupFakes {
  void answerProbe(HealthProbeResult result) { ASSERT_TRUE(answerOldest(probes, result)); }
  void answerRestart(HelperRestartOutcome outcome) { ASSERT_TRUE(answerOldest(restarts, outcome)); }
  void answerRegister(std::optional<HelperRegistrationError> error = std::nullopt) {
    ASSERT_TRUE(answerOldest(registers, error));
  }
  void answerUnregister(std::optional<HelperRegistrationError> error = std::nullopt) {
    ASSERT_TRUE(answerOldest(unregisters, error));
  }
  void runScheduled() { ASSERT_TRUE(answerOldest(scheduled)); }
  // Lets every health poll run and fail; returns how many probes went out.
  int failEveryPoll() {
    int probesSent = 0;
    while (!scheduled.empty()) {
      runScheduled();
      if (probes.empty()) break;
      ++probesSent;
      answerProbe(HealthProbeResult::failed());
    }
    return probesSent;
  }
};

const HealthProbeResult readyNow = HealthProbeResult::ready(nubrikHelperVersion);

class HelperSetupTest : public ::testing::Test {
 protected:
  // A registered helper answering `health`: a failed check, or an old release to update.
  void reach(HealthProbeResult health, HelperSetupState::Kind kind) {
    fakes_.registration = RegistrationStatus::enabled;
    setup_.refresh();
    fakes_.answerProbe(health);
    ASSERT_EQ(setup_.state().kind, kind);
    fakes_.calls.clear();
  }
  void reachHealthCheckFailed() {
    reach(HealthProbeResult::failed(), HelperSetupState::Kind::healthCheckFailed);
  }
  void reachUpdateAvailable() {
    reach(HealthProbeResult::ready("0.9"), HelperSetupState::Kind::helperUpdateAvailable);
  }

  SetupFakes fakes_;
  HelperSetup setup_{fakes_.dependencies()};
};

TEST_F(HelperSetupTest, RefreshProbesARegisteredHelperOnceAtATime) {
  fakes_.registration = RegistrationStatus::enabled;
  setup_.refresh();
  EXPECT_TRUE(setup_.healthProbeInFlight());
  // A periodic refresh meanwhile, and every operation, does nothing.
  setup_.refresh();
  setup_.install();
  setup_.repairHelper();
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "probe"));

  fakes_.answerProbe(readyNow);
  EXPECT_FALSE(setup_.healthProbeInFlight());
  EXPECT_EQ(setup_.state(), HelperSetupState::installedReady());
  // The answer is paired with the registration read again after it.
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "probe", "status"));
}

TEST_F(HelperSetupTest, RefreshPairsTheAnswerWithTheRegistrationAsItIsNow) {
  fakes_.registration = RegistrationStatus::enabled;
  setup_.refresh();
  fakes_.registration = RegistrationStatus::notRegistered;
  fakes_.answerProbe(readyNow);
  EXPECT_EQ(setup_.state(), HelperSetupState::notInstalled());
}

TEST_F(HelperSetupTest, InstallWithAHandInstalledHelperNeverRegistersARefusalShowsWhy) {
  fakes_.developerHelper = true;
  setup_.install();
  EXPECT_EQ(setup_.state(),
            HelperSetupState::registrationFailed(std::string(developerHelperExistsMessage)));
  EXPECT_FALSE(setup_.isWorking());
  setup_.install();
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "status"));
  EXPECT_TRUE(fakes_.registers.empty());

  // Without it, a refused registration shows the refusal.
  fakes_.developerHelper = false;
  setup_.install();
  fakes_.answerRegister(HelperRegistrationError{"Administrator authorization was refused."});
  EXPECT_EQ(setup_.state(),
            HelperSetupState::registrationFailed("Administrator authorization was refused."));
  EXPECT_FALSE(setup_.isWorking());
}

TEST_F(HelperSetupTest, InstallRegistersThenRefreshes) {
  setup_.install();
  EXPECT_TRUE(setup_.isWorking());
  EXPECT_EQ(setup_.refreshEpoch(), 1u);
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "register"));

  fakes_.registration = RegistrationStatus::enabled;
  fakes_.answerRegister();
  EXPECT_FALSE(setup_.isWorking());
  EXPECT_TRUE(setup_.healthProbeInFlight());
  fakes_.answerProbe(readyNow);
  EXPECT_EQ(setup_.state(), HelperSetupState::installedReady());
}

TEST_F(HelperSetupTest, InstallOverAnExistingRegistrationOnlyRefreshes) {
  fakes_.registration = RegistrationStatus::enabled;
  setup_.install();
  EXPECT_FALSE(setup_.isWorking());
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "status", "probe"));
  EXPECT_EQ(setup_.refreshEpoch(), 0u);
}

// A refusal leaves the update on offer with the helper's reason; a failure is a failed check.
TEST_F(HelperSetupTest, ARefusedOrFailedUpdateShowsTheHelpersReason) {
  reachUpdateAvailable();
  const std::string busy = "A session is active, so the helper cannot restart yet.";
  setup_.updateHelper();
  EXPECT_TRUE(setup_.isWorking());
  fakes_.answerRestart(HelperRestartOutcome::refused(busy));
  EXPECT_EQ(setup_.state(), HelperSetupState::helperUpdateAvailable(busy));
  EXPECT_FALSE(setup_.isWorking());

  setup_.updateHelper();
  fakes_.answerRestart(HelperRestartOutcome::failed("Helper returned an unrecognized response."));
  EXPECT_EQ(setup_.state(),
            HelperSetupState::healthCheckFailed("Helper returned an unrecognized response."));
  EXPECT_FALSE(setup_.isWorking());
}

TEST_F(HelperSetupTest, AnAcceptedUpdateWaitsForTheNewHelper) {
  reachUpdateAvailable();
  setup_.updateHelper();
  fakes_.answerRestart(HelperRestartOutcome::accepted());
  ASSERT_EQ(fakes_.scheduled.size(), 1u);
  fakes_.runScheduled();
  // The old release answering is not the new helper.
  fakes_.answerProbe(HealthProbeResult::ready("0.9"));
  fakes_.runScheduled();
  fakes_.answerProbe(readyNow);
  EXPECT_FALSE(setup_.isWorking());
  fakes_.answerProbe(readyNow);
  EXPECT_EQ(setup_.state(), HelperSetupState::installedReady());
  EXPECT_TRUE(fakes_.unregisters.empty());
  EXPECT_THAT(fakes_.delays, ElementsAre(2.0, 1.0));
}

TEST_F(HelperSetupTest, AnUpdateThatNeverComesBackReRegistersAfterEightProbes) {
  reachUpdateAvailable();
  setup_.updateHelper();
  fakes_.answerRestart(HelperRestartOutcome::accepted());
  EXPECT_EQ(fakes_.failEveryPoll(), 8);
  EXPECT_THAT(fakes_.delays, ElementsAre(2.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0));
  EXPECT_TRUE(setup_.isWorking());
}

TEST_F(HelperSetupTest, RepairReRegistersAndPollsTwentyTimesASecondApart) {
  reachHealthCheckFailed();
  setup_.repairHelper();
  EXPECT_TRUE(setup_.isWorking());
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "unregister"));
  const auto epoch = setup_.refreshEpoch();
  fakes_.answerUnregister();
  fakes_.answerRegister();
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "unregister", "register", "status"));
  EXPECT_EQ(fakes_.failEveryPoll(), 20);
  EXPECT_THAT(fakes_.delays, AllOf(SizeIs(20), Each(1.0)));
  EXPECT_EQ(setup_.refreshEpoch(), epoch);
  EXPECT_EQ(setup_.state(),
            HelperSetupState::healthCheckFailed(std::string(helperDidNotComeBackMessage)));
}

TEST_F(HelperSetupTest, RepairIsRefusedDuringASessionOrWhenNotRegistered) {
  reachHealthCheckFailed();
  const auto before = setup_.state();
  fakes_.status = GuiStatus::confirmedActive(fakes_.now + std::chrono::minutes(5), 300);
  setup_.repairHelper();
  fakes_.status = GuiStatus::unavailable(StatusUnavailableReason::busy);
  setup_.repairHelper();
  fakes_.status = GuiStatus::confirmedIdle();
  fakes_.registration = RegistrationStatus::notRegistered;
  setup_.repairHelper();
  EXPECT_THAT(fakes_.calls, ElementsAre("status", "status", "status"));
  EXPECT_FALSE(setup_.isWorking());
  EXPECT_EQ(setup_.state(), before);

  // A session whose time is up no longer blocks it.
  fakes_.registration = RegistrationStatus::enabled;
  fakes_.status = GuiStatus::confirmedActive(fakes_.now - std::chrono::seconds(1), 0);
  setup_.repairHelper();
  EXPECT_EQ(fakes_.unregisters.size(), 1u);
}

TEST_F(HelperSetupTest, RepairFailuresCarryTheirDescriptions) {
  reachHealthCheckFailed();
  setup_.repairHelper();
  fakes_.answerUnregister(HelperRegistrationError{"systemd did not answer in time."});
  EXPECT_EQ(setup_.state(),
            HelperSetupState::healthCheckFailed(
                "Could not re-register the helper: systemd did not answer in time. Open Help from "
                "Tamsel's menu bar icon and see RECOVERY.md."));
  EXPECT_FALSE(setup_.isWorking());

  setup_.repairHelper();
  fakes_.answerUnregister();
  fakes_.answerRegister(HelperRegistrationError{"Administrator authorization was refused."});
  EXPECT_EQ(setup_.state(),
            HelperSetupState::registrationFailed("Administrator authorization was refused."));
  EXPECT_FALSE(setup_.isWorking());
}

TEST_F(HelperSetupTest, AReRegistrationAwaitingApprovalRefreshes) {
  reachHealthCheckFailed();
  setup_.repairHelper();
  fakes_.answerUnregister();
  fakes_.registration = RegistrationStatus::requiresApproval;
  fakes_.answerRegister();
  EXPECT_FALSE(setup_.isWorking());
  EXPECT_TRUE(fakes_.scheduled.empty());
  EXPECT_EQ(setup_.state(), HelperSetupState::approvalRequired());
}

TEST_F(HelperSetupTest, AnAnswerFromAnEarlierOperationChangesNothing) {
  reachUpdateAvailable();
  setup_.updateHelper();
  auto firstRestart = fakes_.restarts.front();
  fakes_.answerRestart(HelperRestartOutcome::refused("Busy."));
  setup_.updateHelper();
  ASSERT_EQ(setup_.refreshEpoch(), 2u);

  // The first request's answer once more, after the second raised the epoch.
  firstRestart(HelperRestartOutcome::accepted());
  EXPECT_TRUE(fakes_.scheduled.empty());
  EXPECT_TRUE(setup_.isWorking());
  EXPECT_EQ(setup_.state(), HelperSetupState::helperUpdateAvailable("Busy."));

  fakes_.answerRestart(HelperRestartOutcome::refused("Still busy."));
  EXPECT_EQ(setup_.state(), HelperSetupState::helperUpdateAvailable("Still busy."));
}

TEST_F(HelperSetupTest, AHealthResultAfterTheOperationEndedChangesNothing) {
  reachHealthCheckFailed();
  setup_.repairHelper();
  fakes_.answerUnregister();
  fakes_.answerRegister();
  fakes_.runScheduled();
  auto lateProbe = fakes_.probes.front();
  fakes_.answerProbe(readyNow);
  fakes_.answerProbe(readyNow);
  ASSERT_EQ(setup_.state(), HelperSetupState::installedReady());
  fakes_.calls.clear();

  lateProbe(HealthProbeResult::failed());
  EXPECT_EQ(setup_.state(), HelperSetupState::installedReady());
  EXPECT_TRUE(fakes_.calls.empty());
  EXPECT_TRUE(fakes_.scheduled.empty());
}

TEST_F(HelperSetupTest, OperationsWaitForAnOutstandingRefresh) {
  fakes_.holdStatusReads = true;
  fakes_.registration = RegistrationStatus::enabled;
  setup_.refresh();
  ASSERT_EQ(fakes_.statusReads.size(), 1u);
  fakes_.statusReads.front()(RegistrationStatus::enabled);
  fakes_.statusReads.pop_front();
  fakes_.answerProbe(HealthProbeResult::failed());
  // The refresh now waits for its second read of the registration.
  ASSERT_TRUE(setup_.healthProbeInFlight());
  setup_.repairHelper();
  EXPECT_TRUE(fakes_.unregisters.empty());
  fakes_.statusReads.front()(RegistrationStatus::enabled);
  fakes_.statusReads.pop_front();
  EXPECT_FALSE(setup_.healthProbeInFlight());
  EXPECT_EQ(setup_.state().kind, HelperSetupState::Kind::healthCheckFailed);
}

TEST(HelperSetupLifetime, AnswersAfterTheControllerIsGoneAreDropped) {
  SetupFakes fakes;
  fakes.registration = RegistrationStatus::enabled;
  {
    HelperSetup setup(fakes.dependencies());
    setup.refresh();
  }
  fakes.answerProbe(readyNow);
  EXPECT_THAT(fakes.calls, ElementsAre("status", "probe"));
}

}  // namespace
}  // namespace nubrik
