#include "helper/coordinators/activation_coordinator.hpp"

#include <utility>

#include "helper/coordinators/network_pass_support.hpp"
#include "helper/log/log.hpp"

namespace nubrik {

ActivationDependencies ActivationDependencies::production(const NetworkOperations& network) {
  return ActivationDependencies{
      .discoverServices = network.discoverAllServices,
      .setServiceEnabled = network.setServiceEnabled,
      .discoverWifiDevices = network.discoverWifiDevices,
      .setWifiPower = network.setWifiPower,
      .discoverInterfaces = network.discoverInterfaces,
      .sparesInterface = network.sparesInterface,
      .setInterfaceUp = network.setInterfaceUp,
      .log = [](const std::string& message) { nubrik::log(message); },
  };
}

ActivationCoordinator::ActivationCoordinator(ActivationDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

ActivationOutcome ActivationCoordinator::activate() const {
  const ActivationDependencies& d = dependencies_;

  // Every listing is in hand before the first change, so a failed listing changes nothing.
  const auto listings = takeListings(d.discoverServices, d.discoverWifiDevices,
                                     d.discoverInterfaces, d.log, "activation", "");
  if (!listings) {
    return ActivationOutcome::activationPending;
  }
  const auto& [services, devices, interfaces] = *listings;

  bool allSucceeded = true;
  for (const std::string& service : services) {
    if (containsLoopback(service)) continue;
    // An already disabled service is switched off again; only the tool's answer counts.
    if (applyChange(d.setServiceEnabled, service, false)) {
      logLine(d.log, "activation: disabled service " + service);
    } else {
      logLine(d.log, "activation: FAILED to disable service " + service);
      allSucceeded = false;
    }
  }
  for (const std::string& device : devices) {
    if (applyChange(d.setWifiPower, device, false)) {
      logLine(d.log, "activation: powered off Wi-Fi " + device);
    } else {
      logLine(d.log, "activation: FAILED to power off Wi-Fi " + device);
      allSucceeded = false;
    }
  }
  for (const std::string& interface : interfaces) {
    if (isSpared(d.sparesInterface, interface)) continue;
    if (applyChange(d.setInterfaceUp, interface, false)) {
      logLine(d.log, "activation: brought interface " + interface + " down");
    } else {
      logLine(d.log, "activation: FAILED to bring interface " + interface + " down");
      allSucceeded = false;
    }
  }
  return allSucceeded ? ActivationOutcome::activated : ActivationOutcome::activationPending;
}

}  // namespace nubrik
