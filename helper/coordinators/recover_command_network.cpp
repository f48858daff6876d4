#include "helper/coordinators/recover_command_network.hpp"

#include "helper/coordinators/network_pass_support.hpp"
#include "helper/log/log.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

RecoverCommandNetwork RecoverCommandNetwork::production() {
  const NetworkOperations network = deferredProductionNetwork();
  return RecoverCommandNetwork{
      .discoverServices = network.discoverAllServices,
      .discoverWifiDevices = network.discoverWifiDevices,
      .discoverInterfaces = network.discoverInterfaces,
      .sparesInterface = network.sparesInterface,
      .setServiceEnabled = network.setServiceEnabled,
      .setWifiPower = network.setWifiPower,
      .setInterfaceUp = network.setInterfaceUp,
  };
}

RecoveryReporting RecoveryReporting::production() {
  return RecoveryReporting{
      .publishIdle = [] { SessionStore::writeStatusIdle(); },
      .publishPending = [] { SessionStore::writeStatusPending(); },
      .log = [](const std::string& message) { nubrik::log(message); },
  };
}

}  // namespace nubrik
