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
  const auto repair = on(Action::repair, "Repair Helper");
  const auto repairing = off(Action::repair, "Repairing…");
  const auto checkAgainOff = off(Action::checkAgain, "Check Again");
  const State denied = State::registrationFailed("denied");
  const State old = State::helperUpdateAvailable("old");
  const State failed = State::healthCheckFailed("no");
  const std::vector<Case> cases = {
      {"installing", State::notInstalled(), true, idle, {off(Action::install, "Installing…")}},
      {"installing again", denied, true, idle, {off(Action::tryAgain, "Installing…")}},
      {"update available", old, false, running, {on(Action::update, "Update Helper"), checkAgain}},
      {"failed check, no status", failed, false, missing, {repair, checkAgain}},
      {"failed check, session over but still reported", failed, false, ended, {repair, checkAgain}},
      {"failed check during a session", failed, false, running, {checkAgain}},
      {"failed check, helper busy", failed, false, busy, {checkAgain}},
      {"repairing, the restarting helper busy", failed, true, busy, {repairing, checkAgainOff}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(helperSetupActions(c.state, c.working, c.status, now), c.expected);
  }
}

}  // namespace
}  // namespace nubrik
