#include "helper/coordinators/restoration_coordinator.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "helper/coordinators/network_pass_support.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

namespace {

bool listed(const NameList& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

RestorationCoordinator::RestorationCoordinator(RestorationDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

bool RestorationCoordinator::restore(const OfflineSession& session) const {
  const RestorationDependencies& d = dependencies_;
  logLine(d.log, "restoration: restoring expired session " + session.id);

  const auto listings = takeListings(d.discoverServices, d.discoverWifiDevices,
                                     d.discoverInterfaces, d.log, "restoration", "; will retry");
  if (!listings) {
    runGuarded(d.publishPending);
    return false;
  }
  const auto& [services, devices, interfaces] = *listings;

  bool allSucceeded = true;

  // Captured services go back to how they were, on or off.
  std::set<std::string> capturedServices;
  for (const ServiceState& service : session.services) {
    capturedServices.insert(service.name);
    if (containsLoopback(service.name)) continue;
    if (!listed(services, service.name)) {
      logLine(d.log, "restoration: service " + service.name + " no longer present; skipping");
    } else if (applyChange(d.setServiceEnabled, service.name, service.wasEnabled)) {
      logLine(d.log, "restoration: restored service " + service.name);
    } else {
      logLine(d.log, "restoration: FAILED to restore service " + service.name + "; will retry");
      allSucceeded = false;
    }
  }
  // Whatever appeared during the session is switched on: a restore never leaves a new adapter off.
  for (const std::string& service : services) {
    if (capturedServices.contains(service) || containsLoopback(service)) continue;
    if (applyChange(d.setServiceEnabled, service, true)) {
      logLine(d.log, "restoration: enabled service " + service + " added during session");
    } else {
      logLine(d.log, "restoration: FAILED to enable service " + service +
                         " added during session; will retry");
      allSucceeded = false;
    }
  }

  for (const auto& [device, wasOn] : session.wifiPower) {
    if (!listed(devices, device)) {
      logLine(d.log, "restoration: Wi-Fi device " + device + " no longer present; skipping");
    } else if (applyChange(d.setWifiPower, device, wasOn)) {
      logLine(d.log, "restoration: restored Wi-Fi " + device);
    } else {
      logLine(d.log, "restoration: FAILED to restore Wi-Fi " + device + "; will retry");
      allSucceeded = false;
    }
  }
  for (const std::string& device : devices) {
    if (session.wifiPower.contains(device)) continue;
    if (applyChange(d.setWifiPower, device, true)) {
      logLine(d.log, "restoration: powered on Wi-Fi " + device + " added during session");
    } else {
      logLine(d.log, "restoration: FAILED to power on Wi-Fi " + device +
                         " added during session; will retry");
      allSucceeded = false;
    }
  }

  if (session.interfaces) {
    std::set<std::string> capturedInterfaces;
    for (const InterfaceState& interface : *session.interfaces) {
      capturedInterfaces.insert(interface.name);
      // Recorded names are asked about too: a record holds the spared interfaces as well.
      if (isSpared(d.sparesInterface, interface.name)) continue;
      if (!listed(interfaces, interface.name)) {
        logLine(d.log, "restoration: interface " + interface.name + " no longer present; skipping");
      } else if (applyChange(d.setInterfaceUp, interface.name, interface.wasUp)) {
        logLine(d.log, "restoration: restored interface " + interface.name);
      } else {
        logLine(d.log,
                "restoration: FAILED to restore interface " + interface.name + "; will retry");
        allSucceeded = false;
      }
    }
    for (const std::string& interface : interfaces) {
      if (capturedInterfaces.contains(interface) || isSpared(d.sparesInterface, interface)) {
        continue;
      }
      if (applyChange(d.setInterfaceUp, interface, true)) {
        logLine(d.log, "restoration: brought interface " + interface + " up added during session");
      } else {
        logLine(d.log, "restoration: FAILED to bring interface " + interface +
                           " up added during session; will retry");
        allSucceeded = false;
      }
    }
  } else {
    // A record from before interfaces were captured does not say which were down: fail open.
    for (const std::string& interface : interfaces) {
      if (isSpared(d.sparesInterface, interface)) continue;
      if (applyChange(d.setInterfaceUp, interface, true)) {
        logLine(d.log, "restoration: legacy fail-open brought interface " + interface + " up");
      } else {
        logLine(d.log,
                "restoration: FAILED legacy fail-open for interface " + interface + "; will retry");
        allSucceeded = false;
      }
    }
  }

  if (!allSucceeded) {
    // The record stays exactly as it was: it is the only account of what to restore.
    runGuarded(d.publishPending);
    return false;
  }
  try {
    d.deleteSession();
  } catch (...) {
    logLine(d.log, "restoration: network restore succeeded but session could not be deleted (" +
                       describeCurrentException() + "); will retry");
    runGuarded(d.publishPending);
    return false;
  }
  // The session is gone and the network is back; a failed publication or notification changes
  // neither, so it must not turn this into a failure or escape the tick.
  runGuarded(d.publishIdle);
  runGuarded(d.notifyRestored);
  logLine(d.log, "restoration: succeeded; session deleted, network restored");
  return true;
}

RestorationCoordinator restorationCoordinator(const RecoverCommandNetwork& network,
                                              const RecoveryReporting& reporting,
                                              std::function<void()> notifyRestored) {
  return RestorationCoordinator(RestorationDependencies{
      .discoverServices = network.discoverServices,
      .discoverWifiDevices = network.discoverWifiDevices,
      .discoverInterfaces = network.discoverInterfaces,
      .sparesInterface = network.sparesInterface,
      .setServiceEnabled = network.setServiceEnabled,
      .setWifiPower = network.setWifiPower,
      .setInterfaceUp = network.setInterfaceUp,
      .deleteSession = [] { SessionStore::deleteSession(); },
      .publishIdle = reporting.publishIdle,
      .publishPending = reporting.publishPending,
      .notifyRestored = std::move(notifyRestored),
      .log = reporting.log,
  });
}

RestorationCoordinator restorationCoordinator(std::function<void()> notifyRestored) {
  return restorationCoordinator(RecoverCommandNetwork::production(),
                                RecoveryReporting::production(), std::move(notifyRestored));
}

}  // namespace nubrik
