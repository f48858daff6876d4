#include "helper/coordinators/recover_command_runner.hpp"

#include <utility>
#include <variant>

#include "helper/coordinators/fail_open_recovery_coordinator.hpp"
#include "helper/coordinators/network_pass_support.hpp"
#include "helper/coordinators/restoration_coordinator.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

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
  const RecoveryReporting defaults = RecoveryReporting::production();
  if (!options.publishIdle) options.publishIdle = defaults.publishIdle;
  if (!options.publishPending) options.publishPending = defaults.publishPending;
  if (!options.log) options.log = defaults.log;
  const RecoveryReporting reporting{options.publishIdle, options.publishPending, options.log};
  const RestorationCoordinator restoration =
      restorationCoordinator(options.network, reporting, options.notifyRestored);
  const FailOpenRecoveryCoordinator failOpen =
      failOpenRecoveryCoordinator(options.network, reporting);

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
