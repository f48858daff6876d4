#pragma once

#include <functional>
#include <string>

#include "core/session.hpp"
#include "helper/coordinators/recovery_reporting.hpp"
#include "helper/net/network_switches.hpp"

namespace nubrik {

// Puts back exactly what a session recorded; deletes the session only after every change worked.
class RestorationCoordinator {
 public:
  RestorationCoordinator(NetworkSwitches& network, RecoveryReporting reporting,
                         std::function<void()> deleteSession,  // throws
                         std::function<void()> notifyRestored);
  bool restore(const OfflineSession& session) const;

 private:
  NetworkSwitches& network_;
  RecoveryReporting reporting_;
  std::function<void()> deleteSession_;
  std::function<void()> notifyRestored_;
};

// A restoration of the stored session over the helper's network, reporting as given.
RestorationCoordinator restorationCoordinator(Helper& helper, RecoveryReporting reporting,
                                              std::function<void()> notifyRestored);

}  // namespace nubrik
