#pragma once

#include <functional>
#include <string>

#include "helper/coordinators/recover_command_network.hpp"
#include "helper/net/network_operations.hpp"

namespace nubrik {

struct FailOpenRecoveryDependencies {
  std::function<NameList()> discoverServices;
  std::function<NameList()> discoverWifiDevices;
  std::function<NameList()> discoverInterfaces;
  std::function<bool(const std::string&)> sparesInterface;
  std::function<bool(const std::string&, bool)> setServiceEnabled;
  std::function<bool(const std::string&, bool)> setWifiPower;
  std::function<bool(const std::string&, bool)> setInterfaceUp;
  std::function<void()> finalizeRecovery;  // throws
  std::function<void()> publishIdle;
  std::function<void()> publishPending;
  std::function<void(const std::string&)> log;
};

// With no trustworthy record, switches on everything that can carry traffic, then clears the
// recovery state only after every change succeeded.
class FailOpenRecoveryCoordinator {
 public:
  explicit FailOpenRecoveryCoordinator(FailOpenRecoveryDependencies dependencies);
  bool recover() const;

 private:
  FailOpenRecoveryDependencies dependencies_;
};

// A fail-open recovery over these network operations, reporting as given.
FailOpenRecoveryCoordinator failOpenRecoveryCoordinator(const RecoverCommandNetwork& network,
                                                        const RecoveryReporting& reporting);
// The daemon's production fail-open recovery.
FailOpenRecoveryCoordinator failOpenRecoveryCoordinator();

}  // namespace nubrik
