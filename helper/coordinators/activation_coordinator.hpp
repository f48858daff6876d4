#pragma once

#include <functional>
#include <string>

#include "helper/net/network_switches.hpp"

namespace nubrik {

enum class ActivationOutcome { activated, activationPending };

// Takes everything offline, best effort; never throws.
class ActivationCoordinator {
 public:
  ActivationCoordinator(NetworkSwitches& network, std::function<void(const std::string&)> log);

  ActivationOutcome activate() const;

 private:
  NetworkSwitches& network_;
  std::function<void(const std::string&)> log_;
};

}  // namespace nubrik
