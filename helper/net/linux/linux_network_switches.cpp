#include "helper/net/linux/linux_network_switches.hpp"

#if defined(__linux__)

#include <optional>

#include "helper/net/network_errors.hpp"

namespace nubrik {

namespace {

// A state that cannot be read is reported as unknown, not as a failed listing.
template <typename Query>
std::optional<bool> optionalState(Query query) {
  try {
    return query();
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

LinuxNetworkSwitches::LinuxNetworkSwitches(const LinuxNetworkConfig& config)
    : rfkill_(config.rfkillSysfsRoot, config.rfkillDevice),
      networkManager_(config.systemBusAddress),
      networkManagerState_(config.networkManagerStateDirectory) {}

// Where the switch lives now. An installed NetworkManager that is not running yet still has its
// switch in its state file, and it comes up with whatever that says: a session that ends (or
// fails open) before it starts must still be able to turn networking back on there.
LinuxNetworkSwitches::Manager LinuxNetworkSwitches::manager() {
  if (networkManager_.present()) return Manager::running;
  return networkManagerState_.installed() ? Manager::installed : Manager::absent;
}

bool LinuxNetworkSwitches::serviceEnabled(const std::string& service) {
  if (service == networkManagerServiceName) {
    switch (manager()) {
      case Manager::running:
        return networkManager_.networkingEnabled();
      case Manager::installed:
        return networkManagerState_.networkingEnabled();
      case Manager::absent:
        break;
    }
  }
  throw NetworkSystemError::noSuchObject(service);
}

bool LinuxNetworkSwitches::setServiceEnabled(const std::string& service, bool on) {
  if (service != networkManagerServiceName) return false;
  switch (manager()) {
    case Manager::running:
      return networkManager_.setNetworkingEnabled(on);
    case Manager::absent:
      return false;
    case Manager::installed:
      break;
  }
  if (!networkManagerState_.setNetworkingEnabled(on)) return false;
  // NetworkManager may have started between the look and the write, having read the file
  // before it changed; once it owns its name, only the bus reaches the switch it now runs
  // with, so then the change counts only when made there as well. A start that has read the
  // old file but has not yet taken its name remains out of reach of this pass.
  return !networkManager_.present() || networkManager_.setNetworkingEnabled(on);
}

SwitchReadings LinuxNetworkSwitches::read(SwitchKind kind, Listing listing) {
  SwitchReadings readings;
  switch (kind) {
    case SwitchKind::service:
      if (manager() != Manager::absent) {
        readings.push_back({networkManagerServiceName, optionalState([&] {
                              return serviceEnabled(networkManagerServiceName);
                            })});
      }
      break;
    case SwitchKind::wifi:
      for (const RfkillSwitch& device : rfkill_.wlanSwitches()) {
        readings.push_back({device.name, !device.softBlocked});
      }
      break;
    case SwitchKind::interface:
      // Only the loopback device is spared, known by its type: any other link, whatever it is
      // called ("lobby0", "lo1"), carries traffic like the rest. The state comes with the dump.
      for (LinkState& link : links_.linkStates(listing == Listing::record)) {
        readings.push_back({std::move(link.name), link.up});
      }
      break;
  }
  return readings;
}

bool LinuxNetworkSwitches::set(SwitchKind kind, const std::string& name, bool on) {
  try {
    switch (kind) {
      case SwitchKind::service:
        return setServiceEnabled(name, on);
      case SwitchKind::wifi:
        return rfkill_.setPowered(name, on);
      case SwitchKind::interface:
        return links_.setUp(name, on);
    }
  } catch (...) {
  }
  return false;
}

bool LinuxNetworkSwitches::sparesInterface(const std::string& name) {
  return links_.isLoopback(name);
}

}  // namespace nubrik

#endif  // __linux__
