#pragma once

#include <functional>
#include <string>

#include "helper/net/network_operations.hpp"

namespace nubrik {

enum class ActivationOutcome { activated, activationPending };

struct ActivationDependencies {
  std::function<NameList()> discoverServices;
  std::function<bool(const std::string&, bool)> setServiceEnabled;
  std::function<NameList()> discoverWifiDevices;
  std::function<bool(const std::string&, bool)> setWifiPower;
  std::function<NameList()> discoverInterfaces;
  std::function<bool(const std::string&)> sparesInterface;
  std::function<bool(const std::string&, bool)> setInterfaceUp;
  std::function<void(const std::string&)> log;

  static ActivationDependencies production(const NetworkOperations& network);
};

// Takes everything offline, best effort; never throws.
class ActivationCoordinator {
 public:
  explicit ActivationCoordinator(ActivationDependencies dependencies);
  ActivationOutcome activate() const;

 private:
  ActivationDependencies dependencies_;
};

}  // namespace nubrik
