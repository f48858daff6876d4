#include "helper/coordinators/recover_command_runner.hpp"

#include <utility>
#include <variant>

#include "helper/coordinators/fail_open_recovery_coordinator.hpp"
#include "helper/coordinators/network_pass_support.hpp"
#include "helper/coordinators/restoration_coordinator.hpp"
#include "helper/log/log.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

RecoverCommandNetwork RecoverCommandNetwork::production() {
  const NetworkOperations network = deferredProductionNetwork();
  return RecoverCommandNetwork{
      .discoverServices = network.discoverAllServices,
      .discoverWifiDevices = network.discoverWifiDevices,
      .discoverInterfaces = network.discoverInterfaces,
      .setServiceEnabled = network.setServiceEnabled,
      .setWifiPower = network.setWifiPower,
      .setInterfaceUp = network.setInterfaceUp,
  };
}

RecoverCommandResult RecoverCommandRunner::run() const {
  using Kind = RecoverCommandResult::Kind;
  // A state that cannot even be loaded is not cleared: the command reports failure.
  SessionLoadResult state;
  try {
    state = loadState();
  } catch (...) {
    return {Kind::failed};
  }

  if (const auto* session = std::get_if<OfflineSession>(&state)) {
    // Deliberately ignores the expiration date: the administrator asked for the restore now.
    bool restored = false;
    try {
      restored = restoreValid(*session);
    } catch (...) {
    }
    return restored ? RecoverCommandResult{Kind::recovered, RecoveredKind::restored}
                    : RecoverCommandResult{Kind::failed};
  }
  if (std::holds_alternative<CorruptSessionInfo>(state) ||
      std::holds_alternative<RecoveryPendingMarker>(state)) {
    bool recovered = false;
    try {
      recovered = recoverFailOpen();
    } catch (...) {
    }
    return recovered ? RecoverCommandResult{Kind::recovered, RecoveredKind::failOpen}
                     : RecoverCommandResult{Kind::failed};
  }
  runGuarded(publishIdle);
  return {Kind::nothingToDo};
}

RecoverCommandRunner recoverCommandRunner(RecoverCommandOptions options) {
  if (!options.publishIdle) options.publishIdle = [] { SessionStore::writeStatusIdle(); };
  if (!options.publishPending) options.publishPending = [] { SessionStore::writeStatusPending(); };
  if (!options.log) options.log = [](const std::string& message) { nubrik::log(message); };
  const RecoverCommandNetwork& network = options.network;

  const RestorationCoordinator restoration(RestorationDependencies{
      .discoverServices = network.discoverServices,
      .discoverWifiDevices = network.discoverWifiDevices,
      .discoverInterfaces = network.discoverInterfaces,
      .setServiceEnabled = network.setServiceEnabled,
      .setWifiPower = network.setWifiPower,
      .setInterfaceUp = network.setInterfaceUp,
      .deleteSession = [] { SessionStore::deleteSession(); },
      .publishIdle = options.publishIdle,
      .publishPending = options.publishPending,
      .notifyRestored = options.notifyRestored,
      .log = options.log,
  });
  const FailOpenRecoveryCoordinator failOpen(FailOpenRecoveryDependencies{
      .discoverServices = network.discoverServices,
      .discoverWifiDevices = network.discoverWifiDevices,
      .discoverInterfaces = network.discoverInterfaces,
      .setServiceEnabled = network.setServiceEnabled,
      .setWifiPower = network.setWifiPower,
      .setInterfaceUp = network.setInterfaceUp,
      .finalizeRecovery = [] { SessionStore::finishRecovery(); },
      .publishIdle = options.publishIdle,
      .publishPending = options.publishPending,
      .log = options.log,
  });

  RecoverCommandRunner runner;
  runner.loadState = [] { return SessionStore::loadSession(); };
  runner.restoreValid = [restoration](const OfflineSession& session) {
    return restoration.restore(session);
  };
  runner.recoverFailOpen = [failOpen] { return failOpen.recover(); };
  runner.publishIdle = options.publishIdle;
  runner.log = options.log;
  return runner;
}

}  // namespace nubrik
