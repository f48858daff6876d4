#include "app/helper_setup_state.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/helper_setup_actions.hpp"

namespace nubrik {
namespace {

using Kind = HelperSetupState::Kind;

const std::string guidance =
    "Automatic helper replacement is unavailable. The existing helper is retained. Allow any "
    "existing session/restoration to finish, close all older Tamsel app instances, then use the "
    "signed manual transition procedure in RECOVERY.md. Choose Check Again afterward to check "
    "readiness.";

TEST(ResolveSetupState, EveryRowOfTheTable) {
  const std::string expected = nubrikHelperVersion;
  // Any release but this app's own is one to update.
  const std::string otherRelease = expected + "-previous";
  struct Row {
    RegistrationStatus registration;
    HealthProbeResult health;
    HelperSetupState state;
  };
  using R = RegistrationStatus;
  using H = HealthProbeResult;
  using S = HelperSetupState;
  const std::vector<Row> rows = {
      {R::notRegistered, H::ready(expected), S::notInstalled()},
      {R::notFound, H::failed(), S::notInstalled()},
      {R::requiresApproval, H::ready(expected), S::approvalRequired()},
      {R::enabled, H::ready(expected), S::installedReady()},
      {R::enabled, H::ready(otherRelease),
       S::helperUpdateAvailable(
           "The helper is out of date. Updating restarts it; no session may be active.")},
      {R::enabled, H::ready(""), S::helperUpdateAvailable(std::string(helperOutOfDateMessage))},
      {R::enabled, H::versionMismatch(6, 5),
       S::appUpdateRequired(
           "This app is older than the installed helper. Update Tamsel, then check again.")},
      {R::enabled, H::versionMismatch(3, 5),
       S::helperUpdateAvailable(
           "A newer helper is available. Updating restarts the helper; no session may be active.")},
      {R::enabled, H::versionMismatch(4, 5),
       S::helperUpdateAvailable(std::string(helperNewerAvailableMessage))},
      {R::enabled, H::versionMismatch(2, 5),
       S::versionIncompatible(
           "The helper protocol version (2) is incompatible with this app (5). " + guidance)},
      {R::enabled, H::versionMismatch(5, 5),
       S::healthCheckFailed(
           "The helper is registered but its protocol version could not be resolved. " + guidance)},
      {R::enabled, H::failed(),
       S::healthCheckFailed("The helper is registered but did not respond to a health check. " +
                            guidance)},
      {R::unknown, H::ready(expected),
       S::registrationFailed("The helper is in an unknown state. " + guidance)},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(resolveSetupState(row.registration, row.health), row.state)
        << row.registration << " " << row.health;
  }
  // The expected release is the caller's.
  EXPECT_EQ(resolveSetupState(RegistrationStatus::enabled, HealthProbeResult::ready("2.0"), "2.0"),
            HelperSetupState::installedReady());
}

// What the setup sheet draws for each state, while idle: its status line and its buttons, the
// first the main one. What work in progress and the window's status change is
// helper_setup_actions_test's.
TEST(HelperSetupStateView, StatusLineAndButtonsOfEachState) {
  using Action = HelperSetupAction;
  using Button = HelperSetupActionButton;
  const Button checkAgain{Action::checkAgain, "Check Again", true};
  struct Case {
    HelperSetupState state;
    std::string line;
    std::vector<Button> buttons;
  };
  using S = HelperSetupState;
  const std::vector<Case> cases = {
      {S::notInstalled(),
       "The helper is not installed.",
       {{Action::install, "Install Helper", true}}},
      {S::registrationFailed(std::string(developerHelperExistsMessage)),
       "Installation failed: A developer helper exists. Use scripts/install-dev and RECOVERY.md; "
       "do not mix installation methods.",
       {{Action::tryAgain, "Try Again", true}}},
      {S::approvalRequired(),
       std::string(helperApprovalMessage),
       {{Action::openLoginItems, "Open Login Items", true}, checkAgain}},
      {S::installedReady(), "The helper is installed and ready.", {{Action::done, "Done", true}}},
      {S::helperUpdateAvailable("u"), "u", {{Action::update, "Update Helper", true}, checkAgain}},
      {S::healthCheckFailed("h"), "h", {{Action::repair, "Repair Helper", true}, checkAgain}},
      {S::versionIncompatible("v"), "v", {checkAgain}},
      {S::appUpdateRequired("a"), "a", {checkAgain}},
  };
  const Date now = dateFromUnixSeconds(1'800'000'000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(helperSetupStatusLine(c.state), c.line);
    EXPECT_EQ(helperSetupActions(c.state, false, GuiStatus::confirmedIdle(), now), c.buttons);
  }
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

// The protocols of this build are the resolution table's rows; here, other protocol ranges.
TEST(HelperUpgradeDecision, ComparesProtocols) {
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
