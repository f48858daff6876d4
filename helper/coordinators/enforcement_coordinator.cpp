#include "helper/coordinators/enforcement_coordinator.hpp"

#include <utility>
#include <variant>

#include "core/session.hpp"
#include "helper/coordinators/network_pass_support.hpp"
#include "helper/log/log.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

namespace {

using StateQuery = std::function<std::optional<bool>(const std::string&)>;

// A query that throws cannot tell, like one that answers nothing.
std::optional<bool> queryState(const StateQuery& query, const std::string& name) {
  try {
    return query(name);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

EnforcementDependencies EnforcementDependencies::production(const NetworkOperations& network) {
  return EnforcementDependencies{
      .discoverServices = network.discoverEnabledServices,
      .wifiPowerState = network.wifiPowerState,
      .discoverWifiDevices = network.discoverWifiDevices,
      .interfaceAdminState = network.interfaceAdminState,
      .discoverInterfaces = network.discoverInterfaces,
      .sparesInterface = network.sparesInterface,
      .setServiceEnabled = network.setServiceEnabled,
      .setWifiPower = network.setWifiPower,
      .setInterfaceUp = network.setInterfaceUp,
      .log = [](const std::string& message) { nubrik::log(message); },
  };
}

EnforcementCoordinator::EnforcementCoordinator(EnforcementDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

EnforcementOutcome EnforcementCoordinator::enforce() const {
  const EnforcementDependencies& d = dependencies_;

  const auto listings = takeListings(d.discoverServices, d.discoverWifiDevices,
                                     d.discoverInterfaces, d.log, "enforcement", "; will retry");
  if (!listings) {
    return EnforcementOutcome::correctionFailed;
  }
  const auto& [services, devices, interfaces] = *listings;

  bool corrected = false;
  bool failed = false;

  // The listing holds only enabled services, so every one of them needs switching off.
  for (const std::string& service : services) {
    if (containsLoopback(service)) continue;
    if (applyChange(d.setServiceEnabled, service, false)) {
      logLine(d.log, "enforcement: disabled service " + service);
      corrected = true;
    } else {
      logLine(d.log, "enforcement: FAILED to disable service " + service + "; will retry");
      failed = true;
    }
  }

  for (const std::string& device : devices) {
    const std::optional<bool> powered = queryState(d.wifiPowerState, device);
    if (!powered) {
      logLine(d.log, "enforcement: Wi-Fi state query failed for " + device + "; will retry");
      failed = true;
    } else if (*powered) {
      if (applyChange(d.setWifiPower, device, false)) {
        logLine(d.log, "enforcement: powered off Wi-Fi " + device);
        corrected = true;
      } else {
        logLine(d.log, "enforcement: FAILED to power off Wi-Fi " + device + "; will retry");
        failed = true;
      }
    }
  }

  for (const std::string& interface : interfaces) {
    if (isSpared(d.sparesInterface, interface)) continue;
    const std::optional<bool> up = queryState(d.interfaceAdminState, interface);
    if (!up) {
      logLine(d.log, "enforcement: interface state query failed for " + interface + "; will retry");
      failed = true;
    } else if (*up) {
      if (applyChange(d.setInterfaceUp, interface, false)) {
        logLine(d.log, "enforcement: brought interface " + interface + " down");
        corrected = true;
      } else {
        logLine(d.log, "enforcement: FAILED to bring interface " + interface + " down; will retry");
        failed = true;
      }
    }
  }

  if (failed) return EnforcementOutcome::correctionFailed;
  return corrected ? EnforcementOutcome::corrected : EnforcementOutcome::noCorrectionNeeded;
}

EnforcementOutcome runEnforcementPass() {
  const EnforcementOutcome outcome =
      EnforcementCoordinator(EnforcementDependencies::production(deferredProductionNetwork()))
          .enforce();
  switch (outcome) {
    case EnforcementOutcome::corrected:
      nubrik::log("enforcement: re-applied offline lock");
      break;
    case EnforcementOutcome::correctionFailed:
      nubrik::log("enforcement: correction failed; session retained, will retry");
      break;
    case EnforcementOutcome::noCorrectionNeeded:
      break;
  }

  // Refreshes the published remaining time; only a valid session has one to publish. The pass
  // runs inside a tick, which must not be broken by a status refresh.
  try {
    const SessionLoadResult state = SessionStore::loadSession();
    if (const auto* session = std::get_if<OfflineSession>(&state)) {
      SessionStore::writeStatus(std::optional<OfflineSession>(*session));
    }
  } catch (...) {
  }
  return outcome;
}

}  // namespace nubrik
