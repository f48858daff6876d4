#include "app/helper_setup_state.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace nubrik {
namespace {

using Kind = HelperSetupState::Kind;
using std::chrono::seconds;

const std::string guidance(helperManualTransitionGuidance);

TEST(ResolveSetupState, EveryRowOfTheTable) {
  const std::string expected = nubrikHelperVersion;
  // Any release but this app's own is one to update.
  const std::string otherRelease = expected + "-previous";
  struct Row {
    RegistrationStatus registration;
    HealthProbeResult health;
    HelperSetupState state;
  };
  const std::vector<Row> rows = {
      {RegistrationStatus::notRegistered, HealthProbeResult::ready(expected),
       HelperSetupState::notInstalled()},
      {RegistrationStatus::notFound, HealthProbeResult::failed(), HelperSetupState::notInstalled()},
      {RegistrationStatus::requiresApproval, HealthProbeResult::ready(expected),
       HelperSetupState::approvalRequired()},
      {RegistrationStatus::enabled, HealthProbeResult::ready(expected),
       HelperSetupState::installedReady()},
      {RegistrationStatus::enabled, HealthProbeResult::ready(otherRelease),
       HelperSetupState::helperUpdateAvailable(
           "The helper is out of date. Updating restarts it; no session may be active.")},
      {RegistrationStatus::enabled, HealthProbeResult::ready(""),
       HelperSetupState::helperUpdateAvailable(std::string(helperOutOfDateMessage))},
      {RegistrationStatus::enabled, HealthProbeResult::versionMismatch(6, 5),
       HelperSetupState::appUpdateRequired(
           "This app is older than the installed helper. Update Tamsel, then check again.")},
      {RegistrationStatus::enabled, HealthProbeResult::versionMismatch(3, 5),
       HelperSetupState::helperUpdateAvailable("A newer helper is available. Updating restarts the "
                                               "helper; no session may be active.")},
      {RegistrationStatus::enabled, HealthProbeResult::versionMismatch(4, 5),
       HelperSetupState::helperUpdateAvailable(std::string(helperNewerAvailableMessage))},
      {RegistrationStatus::enabled, HealthProbeResult::versionMismatch(2, 5),
       HelperSetupState::versionIncompatible(
           "The helper protocol version (2) is incompatible with this app (5). " + guidance)},
      {RegistrationStatus::enabled, HealthProbeResult::versionMismatch(5, 5),
       HelperSetupState::healthCheckFailed(
           "The helper is registered but its protocol version could not be resolved. " + guidance)},
      {RegistrationStatus::enabled, HealthProbeResult::failed(),
       HelperSetupState::healthCheckFailed(
           "The helper is registered but did not respond to a health check. " + guidance)},
      {RegistrationStatus::unknown, HealthProbeResult::ready(expected),
       HelperSetupState::registrationFailed("The helper is in an unknown state. " + guidance)},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(resolveSetupState(row.registration, row.health), row.state)
        << row.registration << " " << row.health;
  }
  // The expected release is the caller's.
  EXPECT_EQ(resolveSetupState(RegistrationStatus::enabled, HealthProbeResult::ready("2.0"), "2.0"),
            HelperSetupState::installedReady());
}

// The status lines of each state are the setup sheet's test.
TEST(HelperSetupTexts, UseThisSystemsWords) {
  EXPECT_EQ(developerHelperExistsMessage,
            "A developer helper exists. Use scripts/install-dev and RECOVERY.md; do not mix "
            "installation methods.");
  EXPECT_EQ(guidance,
            "Automatic helper replacement is unavailable. The existing helper is retained. Allow "
            "any existing session/restoration to finish, close all older Tamsel app instances, "
            "then use the signed manual transition procedure in RECOVERY.md. Choose Check Again "
            "afterward to check readiness.");
}

TEST(HelperSetupTexts, ReRegistrationFailureEndsInOneFullStop) {
  const std::string tail = ". Open Help from Tamsel's menu bar icon and see RECOVERY.md.";
  EXPECT_EQ(helperReRegistrationFailedMessage("Administrator authorization was refused."),
            "Could not re-register the helper: Administrator authorization was refused" + tail);
  EXPECT_EQ(helperReRegistrationFailedMessage("no bus"),
            "Could not re-register the helper: no bus" + tail);
}

TEST(MapHelperSetupState, BeforeAnyHealthCheck) {
  EXPECT_EQ(mapHelperSetupState(RegistrationStatus::notRegistered),
            HelperSetupState::notInstalled());
  EXPECT_EQ(mapHelperSetupState(RegistrationStatus::notFound), HelperSetupState::notInstalled());
  EXPECT_EQ(mapHelperSetupState(RegistrationStatus::enabled),
            HelperSetupState::healthCheckFailed(
                "The helper is registered but has not answered a health check yet."));
  EXPECT_EQ(mapHelperSetupState(RegistrationStatus::requiresApproval),
            HelperSetupState::approvalRequired());
  EXPECT_EQ(mapHelperSetupState(RegistrationStatus::unknown),
            HelperSetupState::registrationFailed(helperUnknownStateMessage()));
}

TEST(HelperUpgradeDecision, ComparesProtocols) {
  EXPECT_EQ(helperUpgradeDecision(5), HelperUpgradeDecision::ready);
  EXPECT_EQ(helperUpgradeDecision(6), HelperUpgradeDecision::appTooOld);
  EXPECT_EQ(helperUpgradeDecision(4), HelperUpgradeDecision::offerUpdate);
  EXPECT_EQ(helperUpgradeDecision(3), HelperUpgradeDecision::offerUpdate);
  EXPECT_EQ(helperUpgradeDecision(2), HelperUpgradeDecision::helperTooOld);
  EXPECT_EQ(helperUpgradeDecision(4, 5, 5), HelperUpgradeDecision::helperTooOld);
  EXPECT_EQ(helperUpgradeDecision(2, 2, 3), HelperUpgradeDecision::ready);
}

TEST(HelperSetupOffers, InstallOnlyWithoutAWorkingRegistration) {
  EXPECT_TRUE(helperInstallationIsAvailable(HelperSetupState::notInstalled()));
  EXPECT_TRUE(helperInstallationIsAvailable(HelperSetupState::registrationFailed("x")));
  for (const auto& state :
       {HelperSetupState::healthCheckFailed("x"), HelperSetupState::versionIncompatible("x"),
        HelperSetupState::helperUpdateAvailable("x"), HelperSetupState::appUpdateRequired("x"),
        HelperSetupState::approvalRequired(), HelperSetupState::installedReady()}) {
    EXPECT_FALSE(helperInstallationIsAvailable(state)) << state;
  }
}

TEST(HelperSetupOffers, RepairNeverDuringARunningSessionNorWhileBusy) {
  const Date now = dateFromUnixSeconds(1'800'000'000);
  const auto failed = HelperSetupState::healthCheckFailed("x");
  struct Case {
    GuiStatus status;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {GuiStatus::confirmedIdle(), true},
      {GuiStatus::unavailable(StatusUnavailableReason::missing), true},
      {GuiStatus::unavailable(StatusUnavailableReason::busy), false},
      {GuiStatus::confirmedActive(now + seconds(1), 1), false},
      {GuiStatus::confirmedActive(now, 0), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(helperRepairIsAllowed(failed, c.status, now), c.allowed);
  }
  EXPECT_FALSE(helperRepairIsAllowed(HelperSetupState::registrationFailed("x"),
                                     GuiStatus::confirmedIdle(), now));
  EXPECT_FALSE(
      helperRepairIsAllowed(HelperSetupState::installedReady(), GuiStatus::confirmedIdle(), now));
}

TEST(HelperSetupOffers, AutomaticUpdateOnceWhileIdle) {
  const auto update = HelperSetupState::helperUpdateAvailable("x");
  EXPECT_TRUE(shouldAutoUpdateHelper(update, GuiStatus::confirmedIdle(), false));
  EXPECT_FALSE(shouldAutoUpdateHelper(update, GuiStatus::confirmedIdle(), true));
  EXPECT_FALSE(shouldAutoUpdateHelper(
      update, GuiStatus::unavailable(StatusUnavailableReason::missing), false));
  EXPECT_FALSE(shouldAutoUpdateHelper(
      update, GuiStatus::confirmedActive(dateFromUnixSeconds(1'800'000'000), 60), false));
  EXPECT_FALSE(shouldAutoUpdateHelper(HelperSetupState::healthCheckFailed("x"),
                                      GuiStatus::confirmedIdle(), false));
}

TEST(ShouldProbeHelperSetup, AReadyHelperEveryIntervalAnyOtherStateEveryTick) {
  const auto ready = HelperSetupState::installedReady();
  EXPECT_TRUE(shouldProbeHelperSetup(ready, 0));
  EXPECT_TRUE(shouldProbeHelperSetup(ready, 30));
  EXPECT_FALSE(shouldProbeHelperSetup(ready, 29));
  EXPECT_FALSE(shouldProbeHelperSetup(ready, 31));
  EXPECT_FALSE(shouldProbeHelperSetup(ready, 0, 0));
  EXPECT_FALSE(shouldProbeHelperSetup(ready, 10, -5));
  EXPECT_TRUE(shouldProbeHelperSetup(ready, 7, 1));
  for (std::int64_t tick : {0, 1, 29, 31}) {
    EXPECT_TRUE(shouldProbeHelperSetup(HelperSetupState::approvalRequired(), tick));
    EXPECT_TRUE(shouldProbeHelperSetup(HelperSetupState::notInstalled(), tick, 0));
  }
}

}  // namespace
}  // namespace nubrik
