#pragma once

#include <functional>
#include <string>

#include "helper/coordinators/recovery_reporting.hpp"
#include "helper/net/network_switches.hpp"

namespace nubrik {

// With no trustworthy record, switches on everything that can carry traffic, then clears the
// recovery state only after every change succeeded.
class FailOpenRecoveryCoordinator {
 public:
  FailOpenRecoveryCoordinator(NetworkSwitches& network, RecoveryReporting reporting,
                              std::function<void()> finalizeRecovery);  // throws
  bool recover() const;

 private:
  NetworkSwitches& network_;
  RecoveryReporting reporting_;
  std::function<void()> finalizeRecovery_;
};

// A fail-open recovery of the stored state over the helper's network, reporting as given.
FailOpenRecoveryCoordinator failOpenRecoveryCoordinator(Helper& helper,
                                                        RecoveryReporting reporting);

}  // namespace nubrik
