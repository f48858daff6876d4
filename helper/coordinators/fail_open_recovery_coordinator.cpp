#include "helper/coordinators/fail_open_recovery_coordinator.hpp"

#include <utility>

#include "helper/context/helper.hpp"
#include "helper/coordinators/switch_pass.hpp"

namespace nubrik {

FailOpenRecoveryCoordinator::FailOpenRecoveryCoordinator(NetworkSwitches& network,
                                                         RecoveryReporting reporting,
                                                         std::function<void()> finalizeRecovery)
    : network_(network),
      reporting_(std::move(reporting)),
      finalizeRecovery_(std::move(finalizeRecovery)) {}

bool FailOpenRecoveryCoordinator::recover() const {
  const RecoveryReporting& r = reporting_;
  logLine(r.log, "fail-open recovery: attempting emergency network restore");

  // With no trustworthy record, everything that can carry traffic is switched on.
  const SwitchPassResult result = runSwitchPass(
      network_,
      {"fail-open recovery", "; will retry", Listing::switchable, everyListedSwitch(true)}, r.log);
  if (result.failed) {
    // The marker and any evidence stay for the next attempt.
    runGuarded(r.publishPending);
    return false;
  }
  try {
    finalizeRecovery_();
  } catch (...) {
    logLine(r.log,
            "fail-open recovery: network restore succeeded but recovery state could not be "
            "finalized (" +
                describeCurrentException() + "); will retry");
    runGuarded(r.publishPending);
    return false;
  }
  runGuarded(r.publishIdle);
  logLine(r.log, "fail-open recovery: succeeded; network restored, recovery state finalized");
  return true;
}

FailOpenRecoveryCoordinator failOpenRecoveryCoordinator(Helper& helper,
                                                        RecoveryReporting reporting) {
  return FailOpenRecoveryCoordinator(helper.network(), std::move(reporting),
                                     [&helper] { helper.sessions().finishRecovery(); });
}

}  // namespace nubrik
