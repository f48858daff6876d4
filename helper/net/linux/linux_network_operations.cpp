#include "helper/net/linux/linux_network_operations.hpp"

#if defined(__linux__)

#include <memory>
#include <optional>

#include "helper/net/linux/network_manager_switch.hpp"
#include "helper/net/linux/rfkill_switches.hpp"
#include "helper/net/linux/rtnetlink_links.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik {

namespace {

struct LinuxBackend {
  explicit LinuxBackend(const LinuxNetworkConfig& config)
      : rfkill(config.rfkillSysfsRoot, config.rfkillDevice),
        networkManager(config.systemBusAddress),
        networkManagerState(config.networkManagerStateDirectory) {}

  RtnetlinkLinks links;
  RfkillSwitches rfkill;
  NetworkManagerSwitch networkManager;
  NetworkManagerStateFile networkManagerState;

  enum class Manager { running, installed, absent };

  // Where the switch lives now. An installed NetworkManager that is not running yet still has
  // its switch in its state file, and it comes up with whatever that says: a session that ends
  // (or fails open) before it starts must still be able to turn networking back on there.
  Manager manager() {
    if (networkManager.present()) return Manager::running;
    return networkManagerState.installed() ? Manager::installed : Manager::absent;
  }

  NameList services(bool enabledOnly) {
    switch (manager()) {
      case Manager::absent:
        return {};
      case Manager::running:
        if (enabledOnly && !networkManager.networkingEnabled()) return {};
        break;
      case Manager::installed:
        if (enabledOnly && !networkManagerState.networkingEnabled()) return {};
        break;
    }
    return {networkManagerServiceName};
  }

  bool serviceEnabled(const std::string& service) {
    if (service == networkManagerServiceName) {
      switch (manager()) {
        case Manager::running:
          return networkManager.networkingEnabled();
        case Manager::installed:
          return networkManagerState.networkingEnabled();
        case Manager::absent:
          break;
      }
    }
    throw NetworkSystemError::noSuchObject(service);
  }

  bool setServiceEnabled(const std::string& service, bool on) {
    if (service != networkManagerServiceName) return false;
    switch (manager()) {
      case Manager::running:
        return networkManager.setNetworkingEnabled(on);
      case Manager::absent:
        return false;
      case Manager::installed:
        break;
    }
    if (!networkManagerState.setNetworkingEnabled(on)) return false;
    // NetworkManager may have started between the look and the write, having read the file
    // before it changed; once it owns its name, only the bus reaches the switch it now runs
    // with, so then the change counts only when made there as well. A start that has read the
    // old file but has not yet taken its name remains out of reach of this pass.
    return !networkManager.present() || networkManager.setNetworkingEnabled(on);
  }
};

// The optional and changing forms report what they cannot do instead of throwing.
template <typename Query>
std::optional<bool> optionalState(Query query) {
  try {
    return query();
  } catch (...) {
    return std::nullopt;
  }
}

template <typename Change>
bool guardedChange(Change change) {
  try {
    return change();
  } catch (...) {
    return false;
  }
}

}  // namespace

NetworkOperations linuxNetworkOperations(const LinuxNetworkConfig& config) {
  const auto backend = std::make_shared<LinuxBackend>(config);
  NetworkOperations operations;
  operations.discoverEnabledServices = [backend] { return backend->services(true); };
  operations.discoverAllServices = [backend] { return backend->services(false); };
  operations.discoverSnapshotServices = [backend] { return backend->services(false); };
  // Only the loopback device is spared, known by its type: any other link, whatever it is
  // called ("lobby0", "lo1"), carries traffic like the rest.
  operations.discoverInterfaces = [backend] { return backend->links.linkNames(false); };
  operations.discoverSnapshotInterfaces = [backend] { return backend->links.linkNames(true); };
  operations.discoverWifiDevices = [backend] { return backend->rfkill.deviceNames(); };
  operations.sparesInterface = [backend](const std::string& interface) {
    return backend->links.isLoopback(interface);
  };

  operations.queryServiceEnabledState = [backend](const std::string& service) {
    return backend->serviceEnabled(service);
  };
  operations.queryWifiPowerState = [backend](const std::string& device) {
    return backend->rfkill.powered(device);
  };
  operations.queryInterfaceUpState = [backend](const std::string& interface) {
    return backend->links.isUp(interface);
  };

  operations.wifiPowerState = [backend](const std::string& device) {
    return optionalState([&] { return backend->rfkill.powered(device); });
  };
  operations.interfaceAdminState = [backend](const std::string& interface) {
    return optionalState([&] { return backend->links.isUp(interface); });
  };

  operations.setServiceEnabled = [backend](const std::string& service, bool on) {
    return guardedChange([&] { return backend->setServiceEnabled(service, on); });
  };
  operations.setWifiPower = [backend](const std::string& device, bool on) {
    return guardedChange([&] { return backend->rfkill.setPowered(device, on); });
  };
  operations.setInterfaceUp = [backend](const std::string& interface, bool up) {
    return guardedChange([&] { return backend->links.setUp(interface, up); });
  };
  return operations;
}

}  // namespace nubrik

#endif  // __linux__
