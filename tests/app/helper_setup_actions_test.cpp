#include "app/helper_setup_actions.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace nubrik {
namespace {

using Action = HelperSetupAction;
using State = HelperSetupState;

const Date now = dateFromUnixSeconds(1'800'000'000);
const GuiStatus idle = GuiStatus::confirmedIdle();
const GuiStatus running = GuiStatus::confirmedActive(now + std::chrono::minutes(10), 600);
const GuiStatus ended = GuiStatus::confirmedActive(now, 0);
const GuiStatus busy = GuiStatus::unavailable(StatusUnavailableReason::busy);
const GuiStatus missing = GuiStatus::unavailable(StatusUnavailableReason::missing);

HelperSetupActionButton on(Action action, std::string title) {
  return {action, std::move(title), true};
}
HelperSetupActionButton off(Action action, std::string title) {
  return {action, std::move(title), false};
}

// The buttons of every state while idle are helper_setup_state_test's; here, what the work in
// progress and the window's status change.
TEST(HelperSetupActions, Table) {
  struct Case {
    const char* name;
    State state;
    bool working;
    GuiStatus status;
    std::vector<HelperSetupActionButton> expected;
  };
  const auto checkAgain = on(Action::checkAgain, "Check Again");
  const auto checkAgainOff = off(Action::checkAgain, "Check Again");
  const std::vector<Case> cases = {
      {"installing again",
       State::registrationFailed("denied"),
       true,
       idle,
       {off(Action::tryAgain, "Installing…")}},
      {"update available",
       State::helperUpdateAvailable("old"),
       false,
       running,
       {on(Action::update, "Update Helper"), checkAgain}},
      {"health check failed, no status",
       State::healthCheckFailed("no"),
       false,
       missing,
       {on(Action::repair, "Repair Helper"), checkAgain}},
      {"health check failed, session over but still reported",
       State::healthCheckFailed("no"),
       false,
       ended,
       {on(Action::repair, "Repair Helper"), checkAgain}},
      {"health check failed during a session",
       State::healthCheckFailed("no"),
       false,
       running,
       {checkAgain}},
      {"health check failed, helper busy",
       State::healthCheckFailed("no"),
       false,
       busy,
       {checkAgain}},
      {"repairing while the restarting helper reads busy",
       State::healthCheckFailed("no"),
       true,
       busy,
       {off(Action::repair, "Repairing…"), checkAgainOff}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(helperSetupActions(c.state, c.working, c.status, now), c.expected);
  }
}

}  // namespace
}  // namespace nubrik
