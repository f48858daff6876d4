#include "helper/coordinators/recover_command_runner.hpp"

#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "helper/context/helper.hpp"
#include "helper/coordinators/fail_open_recovery_coordinator.hpp"
#include "helper/coordinators/restoration_coordinator.hpp"
#include "helper/coordinators/switch_pass.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

namespace {

// Whether a log line reports something that went wrong.
bool reportsFailure(const std::string& line) {
  return line.find("FAILED") != std::string::npos || line.find("failed") != std::string::npos ||
         line.find("could not") != std::string::npos;
}

}  // namespace

RecoverCommandResult RecoverCommandRunner::run() const {
  using Kind = RecoverCommandResult::Kind;
  const auto failed = [this](std::vector<std::string> extra = {}) {
    RecoverCommandResult result{Kind::failed};
    if (takeFailureLines) result.causes = takeFailureLines();
    result.causes.insert(result.causes.end(), extra.begin(), extra.end());
    return result;
  };
  // A state that cannot even be loaded is not cleared: the command reports failure.
  SessionLoadResult state;
  try {
    state = loadState();
  } catch (...) {
    return failed({"session state could not be loaded (" + describeCurrentException() + ")"});
  }

  if (const auto* session = std::get_if<OfflineSession>(&state)) {
    // Deliberately ignores the expiration date: the administrator asked for the restore now.
    bool restored = false;
    try {
      restored = restoreValid(*session);
    } catch (...) {
    }
    return restored ? RecoverCommandResult{Kind::recovered, RecoveredKind::restored} : failed();
  }
  if (std::holds_alternative<CorruptSessionInfo>(state) ||
      std::holds_alternative<RecoveryPendingMarker>(state)) {
    bool recovered = false;
    try {
      recovered = recoverFailOpen();
    } catch (...) {
    }
    return recovered ? RecoverCommandResult{Kind::recovered, RecoveredKind::failOpen} : failed();
  }
  runGuarded(publishIdle);
  return {Kind::nothingToDo};
}

RecoverCommandRunner recoverCommandRunner(Helper& helper, RecoverCommandOptions options) {
  const RecoveryReporting defaults = RecoveryReporting::production(helper);
  if (!options.publishIdle) options.publishIdle = defaults.publishIdle;
  if (!options.publishPending) options.publishPending = defaults.publishPending;
  if (!options.log) options.log = defaults.log;
  // Every line still goes to the log; the ones that report a failure are also kept, so that the
  // command can tell the administrator why it failed.
  auto failureLines = std::make_shared<std::vector<std::string>>();
  options.log = [log = options.log, failureLines](const std::string& line) {
    if (reportsFailure(line)) failureLines->push_back(line);
    log(line);
  };
  const RecoveryReporting reporting{options.publishIdle, options.publishPending, options.log};
  const RestorationCoordinator restoration =
      restorationCoordinator(helper, reporting, options.notifyRestored);
  const FailOpenRecoveryCoordinator failOpen = failOpenRecoveryCoordinator(helper, reporting);

  RecoverCommandRunner runner;
  runner.loadState = [&helper] { return helper.sessions().loadSession(); };
  runner.restoreValid = [restoration](const OfflineSession& session) {
    return restoration.restore(session);
  };
  runner.recoverFailOpen = [failOpen] { return failOpen.recover(); };
  runner.publishIdle = options.publishIdle;
  runner.log = options.log;
  runner.takeFailureLines = [failureLines] { return std::exchange(*failureLines, {}); };
  return runner;
}

}  // namespace nubrik
