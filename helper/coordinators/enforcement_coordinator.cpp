#include "helper/coordinators/enforcement_coordinator.hpp"

#include <chrono>
#include <utility>
#include <variant>

#include "core/session.hpp"
#include "core/session_clock.hpp"
#include "helper/context/helper.hpp"
#include "helper/coordinators/switch_pass.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

namespace {

// Only what is on is switched off; a state that cannot be read is a failure for the next pass.
SwitchSteps switchOffWhatIsOn(SwitchKind, const SwitchReadings& listed) {
  SwitchSteps steps;
  for (const SwitchReading& reading : listed) {
    if (!reading.on) {
      steps.push_back({SwitchStep::Action::stateUnknown, reading.name});
    } else if (*reading.on) {
      steps.push_back({SwitchStep::Action::change, reading.name, false});
    }
  }
  return steps;
}

EnforcementOutcome outcomeOf(const SwitchPassResult& result) {
  if (result.failed) return EnforcementOutcome::correctionFailed;
  return result.changed ? EnforcementOutcome::corrected : EnforcementOutcome::noCorrectionNeeded;
}

const SwitchPass enforcementPass{"enforcement", "; will retry", Listing::switchable,
                                 switchOffWhatIsOn};

}  // namespace

EnforcementCoordinator::EnforcementCoordinator(NetworkSwitches& network,
                                               std::function<void(const std::string&)> log)
    : network_(network), log_(std::move(log)) {}

EnforcementOutcome EnforcementCoordinator::enforce() const {
  return outcomeOf(runSwitchPass(network_, enforcementPass, log_));
}

EnforcementOutcome EnforcementCoordinator::enforceAnnounced(
    const SwitchReadings& interfaces) const {
  SwitchReadings switchable;
  for (const SwitchReading& reading : interfaces) {
    if (!skipsSwitch(network_, SwitchKind::interface, reading.name)) switchable.push_back(reading);
  }
  return outcomeOf(applySwitchSteps(network_, enforcementPass, SwitchKind::interface,
                                    switchOffWhatIsOn(SwitchKind::interface, switchable), log_));
}

std::string enforcementSummary(EnforcementOutcome outcome) {
  switch (outcome) {
    case EnforcementOutcome::corrected:
      return "enforcement: re-applied offline lock";
    case EnforcementOutcome::correctionFailed:
      return "enforcement: correction failed; session retained, will retry";
    case EnforcementOutcome::noCorrectionNeeded:
      break;
  }
  return {};
}

EnforcementOutcome runEnforcementPass(Helper& helper) {
  const EnforcementOutcome outcome =
      EnforcementCoordinator(helper.network(), helper.correctionLogOperation()).enforce();
  if (const std::string summary = enforcementSummary(outcome); !summary.empty()) {
    helper.logCorrection(summary);
  }

  // Refreshes the published remaining time; only a valid session has one to publish. The pass
  // runs inside a tick, which must not be broken by a status refresh.
  try {
    const SessionLoadResult state = helper.sessions().loadSession();
    if (const auto* session = std::get_if<OfflineSession>(&state)) {
      helper.sessions().writeStatus(std::optional<OfflineSession>(*session));
      // On the wall clock's scale, when the session's own clock reaches its end.
      const Date wall = std::chrono::system_clock::now();
      const Date now = sessionNow(*session, wall, readBootClock());
      helper.noteTickFinding({TickFinding::State::enforcing, stampOf(helper.paths().sessionFile),
                              addSeconds(wall, secondsBetween(now, session->expirationDate))});
    }
  } catch (...) {
  }
  return outcome;
}

}  // namespace nubrik
