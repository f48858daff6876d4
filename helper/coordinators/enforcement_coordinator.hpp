#pragma once

#include <functional>
#include <string>

#include "helper/net/network_switches.hpp"

namespace nubrik {

class Helper;

enum class EnforcementOutcome { noCorrectionNeeded, corrected, correctionFailed };

// Switches off whatever came back on during a session. Never throws, never touches the session.
class EnforcementCoordinator {
 public:
  EnforcementCoordinator(NetworkSwitches& network, std::function<void(const std::string&)> log);

  EnforcementOutcome enforce() const;
  // The same rule for links the kernel announced, without listing anything: those that are up
  // (and not spared) are brought down.
  EnforcementOutcome enforceAnnounced(const SwitchReadings& interfaces) const;

 private:
  NetworkSwitches& network_;
  std::function<void(const std::string&)> log_;
};

// The summary line of a pass with this outcome ("enforcement: re-applied offline lock", ...);
// empty when there is nothing to say.
std::string enforcementSummary(EnforcementOutcome outcome);

// One production pass: enforce, log its summary, refresh the published status, and note for the
// changes between ticks which session is enforced.
EnforcementOutcome runEnforcementPass(Helper& helper);

}  // namespace nubrik
