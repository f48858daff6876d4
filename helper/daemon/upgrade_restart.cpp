#include "helper/daemon/upgrade_restart.hpp"

#include <cstdlib>
#include <string>
#include <utility>

#include "helper/context/helper.hpp"
#include "helper/log/log.hpp"
#include "helper/service/restart_coordinator.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

UpgradeRestartCoordinator::UpgradeRestartCoordinator(FileIdentity running,
                                                     UpgradeRestartDependencies dependencies)
    : running_(running), dependencies_(std::move(dependencies)) {}

UpgradeCheck UpgradeRestartCoordinator::check() {
  try {
    if (dependencies_.isRestarting()) return UpgradeCheck::restarting;
    const std::optional<FileIdentity> installed = dependencies_.installedIdentity();
    // No file at the path is a package in the middle of its unpacking, or one being removed:
    // nothing new to start yet.
    if (!installed || *installed == running_) return UpgradeCheck::current;

    HelperRestartResultCode code = HelperRestartResultCode::busy;
    try {
      code = dependencies_.prepareRestart();
    } catch (const HelperTransactionError&) {
      code = HelperRestartResultCode::busy;
    }
    if (code == HelperRestartResultCode::accepted) {
      dependencies_.diagnose("a new helper executable is installed; restarting into it");
      return UpgradeCheck::restarting;
    }
    diagnoseOnce(*installed, helperRestartDefaultMessage(code));
    return UpgradeCheck::deferred;
  } catch (...) {
    // Nothing was decided; the next tick looks again.
    return UpgradeCheck::deferred;
  }
}

void UpgradeRestartCoordinator::diagnoseOnce(const FileIdentity& installed, std::string_view why) {
  if (reported_ == installed) return;
  reported_ = installed;
  dependencies_.diagnose("a new helper executable is installed; the restart waits (" +
                         std::string(why) + ")");
}

std::optional<UpgradeRestartCoordinator> productionUpgradeRestart(Helper& helper) {
  // systemd gives every service it starts an invocation id; Restart=always brings the new
  // executable up after the exit.
  if (std::getenv("INVOCATION_ID") == nullptr) return std::nullopt;
  std::optional<RunningExecutable> running = runningExecutable();
  if (!running) {
    diagnose("the helper's executable cannot be identified; upgrades wait for a restart");
    return std::nullopt;
  }
  UpgradeRestartDependencies d;
  d.installedIdentity = [path = running->path] { return regularFileIdentity(path); };
  d.prepareRestart = [&helper] {
    HelperRestartResultCode code = HelperRestartResultCode::busy;
    helper.transactions().run(StatusEffect::publishes, [&](Transaction&) {
      code = RestartCoordinator::production(helper).prepareRestart();
    });
    return code;
  };
  d.isRestarting = [&helper] { return helper.isRestarting(); };
  d.diagnose = [](std::string_view message) { diagnose(message); };
  return UpgradeRestartCoordinator(running->identity, std::move(d));
}

}  // namespace nubrik
