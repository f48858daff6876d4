#include "helper/coordinators/fail_open_recovery_coordinator.hpp"

#include <utility>

#include "helper/coordinators/network_pass_support.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

FailOpenRecoveryCoordinator::FailOpenRecoveryCoordinator(FailOpenRecoveryDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

bool FailOpenRecoveryCoordinator::recover() const {
  const FailOpenRecoveryDependencies& d = dependencies_;
  logLine(d.log, "fail-open recovery: attempting emergency network restore");

  const auto listings =
      takeListings(d.discoverServices, d.discoverWifiDevices, d.discoverInterfaces, d.log,
                   "fail-open recovery", "; will retry");
  if (!listings) {
    runGuarded(d.publishPending);
    return false;
  }
  const auto& [services, devices, interfaces] = *listings;

  // With no trustworthy record, everything that can carry traffic is switched on.
  bool allSucceeded = true;
  for (const std::string& service : services) {
    if (containsLoopback(service)) continue;
    if (applyChange(d.setServiceEnabled, service, true)) {
      logLine(d.log, "fail-open recovery: enabled service " + service);
    } else {
      logLine(d.log, "fail-open recovery: FAILED to enable service " + service + "; will retry");
      allSucceeded = false;
    }
  }
  for (const std::string& device : devices) {
    if (applyChange(d.setWifiPower, device, true)) {
      logLine(d.log, "fail-open recovery: powered on Wi-Fi " + device);
    } else {
      logLine(d.log, "fail-open recovery: FAILED to power on Wi-Fi " + device + "; will retry");
      allSucceeded = false;
    }
  }
  for (const std::string& interface : interfaces) {
    if (isSpared(d.sparesInterface, interface)) continue;
    if (applyChange(d.setInterfaceUp, interface, true)) {
      logLine(d.log, "fail-open recovery: brought interface " + interface + " up");
    } else {
      logLine(d.log,
              "fail-open recovery: FAILED to bring interface " + interface + " up; will retry");
      allSucceeded = false;
    }
  }

  if (!allSucceeded) {
    // The marker and any evidence stay for the next attempt.
    runGuarded(d.publishPending);
    return false;
  }
  try {
    d.finalizeRecovery();
  } catch (...) {
    logLine(d.log,
            "fail-open recovery: network restore succeeded but recovery state could not be "
            "finalized (" +
                describeCurrentException() + "); will retry");
    runGuarded(d.publishPending);
    return false;
  }
  runGuarded(d.publishIdle);
  logLine(d.log, "fail-open recovery: succeeded; network restored, recovery state finalized");
  return true;
}

FailOpenRecoveryCoordinator failOpenRecoveryCoordinator(const RecoverCommandNetwork& network,
                                                        const RecoveryReporting& reporting) {
  return FailOpenRecoveryCoordinator(FailOpenRecoveryDependencies{
      .discoverServices = network.discoverServices,
      .discoverWifiDevices = network.discoverWifiDevices,
      .discoverInterfaces = network.discoverInterfaces,
      .sparesInterface = network.sparesInterface,
      .setServiceEnabled = network.setServiceEnabled,
      .setWifiPower = network.setWifiPower,
      .setInterfaceUp = network.setInterfaceUp,
      .finalizeRecovery = [] { SessionStore::finishRecovery(); },
      .publishIdle = reporting.publishIdle,
      .publishPending = reporting.publishPending,
      .log = reporting.log,
  });
}

FailOpenRecoveryCoordinator failOpenRecoveryCoordinator() {
  return failOpenRecoveryCoordinator(RecoverCommandNetwork::production(),
                                     RecoveryReporting::production());
}

}  // namespace nubrik
