#include "helper/coordinators/activation_coordinator.hpp"

#include <utility>

#include "helper/coordinators/switch_pass.hpp"

namespace nubrik {

ActivationCoordinator::ActivationCoordinator(NetworkSwitches& network,
                                             std::function<void(const std::string&)> log)
    : network_(network), log_(std::move(log)) {}

ActivationOutcome ActivationCoordinator::activate() const {
  // Every listing is in hand before the first change, so a failed listing changes nothing. An
  // already disabled switch is switched off again; only the backend's answer counts.
  const SwitchPassResult result = runSwitchPass(
      network_, {"activation", "", Listing::switchable, everyListedSwitch(false)}, log_);
  return result.failed ? ActivationOutcome::activationPending : ActivationOutcome::activated;
}

}  // namespace nubrik
