#pragma once

#include <functional>
#include <optional>
#include <string>

#include "helper/net/network_operations.hpp"

namespace nubrik {

enum class EnforcementOutcome { noCorrectionNeeded, corrected, correctionFailed };

struct EnforcementDependencies {
  std::function<NameList()> discoverServices;
  std::function<std::optional<bool>(const std::string&)> wifiPowerState;
  std::function<NameList()> discoverWifiDevices;
  std::function<std::optional<bool>(const std::string&)> interfaceAdminState;
  std::function<NameList()> discoverInterfaces;
  std::function<bool(const std::string&)> sparesInterface;
  std::function<bool(const std::string&, bool)> setServiceEnabled;
  std::function<bool(const std::string&, bool)> setWifiPower;
  std::function<bool(const std::string&, bool)> setInterfaceUp;
  std::function<void(const std::string&)> log;

  static EnforcementDependencies production(const NetworkOperations& network);
};

// Switches off whatever came back on during a session. Never throws, never touches the session.
class EnforcementCoordinator {
 public:
  explicit EnforcementCoordinator(EnforcementDependencies dependencies);
  EnforcementOutcome enforce() const;

 private:
  EnforcementDependencies dependencies_;
};

// One production pass: enforce, log its summary, refresh the published status.
EnforcementOutcome runEnforcementPass();

}  // namespace nubrik
