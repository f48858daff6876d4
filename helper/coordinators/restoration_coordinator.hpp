#pragma once

#include <functional>
#include <string>

#include "core/session.hpp"
#include "helper/coordinators/recover_command_network.hpp"
#include "helper/net/network_operations.hpp"

namespace nubrik {

struct RestorationDependencies {
  std::function<NameList()> discoverServices;
  std::function<NameList()> discoverWifiDevices;
  std::function<NameList()> discoverInterfaces;
  std::function<bool(const std::string&)> sparesInterface;
  std::function<bool(const std::string&, bool)> setServiceEnabled;
  std::function<bool(const std::string&, bool)> setWifiPower;
  std::function<bool(const std::string&, bool)> setInterfaceUp;
  std::function<void()> deleteSession;  // throws
  std::function<void()> publishIdle;
  std::function<void()> publishPending;
  std::function<void()> notifyRestored;
  std::function<void(const std::string&)> log;
};

// Puts back exactly what a session recorded; deletes the session only after every change worked.
class RestorationCoordinator {
 public:
  explicit RestorationCoordinator(RestorationDependencies dependencies);
  bool restore(const OfflineSession& session) const;

 private:
  RestorationDependencies dependencies_;
};

// A restoration over these network operations, reporting and notifying as given.
RestorationCoordinator restorationCoordinator(const RecoverCommandNetwork& network,
                                              const RecoveryReporting& reporting,
                                              std::function<void()> notifyRestored);
// The daemon's production restoration, notifying through notifyRestored.
RestorationCoordinator restorationCoordinator(std::function<void()> notifyRestored);

}  // namespace nubrik
