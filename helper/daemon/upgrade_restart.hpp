#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "core/xpc_result_codes.hpp"
#include "helper/daemon/executable_identity.hpp"

namespace nubrik {

class Helper;

struct UpgradeRestartDependencies {
  // The file now installed where the running executable was started from; none when there is none.
  std::function<std::optional<FileIdentity>()> installedIdentity;
  // The restart request's own decision, in a transaction of its own; throws HelperTransactionError
  // when the state lock is taken.
  std::function<HelperRestartResultCode()> prepareRestart;
  std::function<bool()> isRestarting;
  std::function<void(std::string_view)> diagnose;
};

// What one check after a tick found.
enum class UpgradeCheck {
  current,     // the installed executable is the one running
  restarting,  // a restart is accepted (now or earlier); the process exits shortly
  deferred,    // a new executable waits for the session or the restore to end
};

// A package upgrade leaves the running daemon alone, since a session must go on; the new
// executable is installed beside it. After every tick the daemon looks whether the file at its
// path is still the one it runs and, when it is not, asks the same question as the app's restart
// request: only a helper with nothing stored may exit, and then the service manager starts the
// new one. A refused restart is asked again after the next tick.
class UpgradeRestartCoordinator {
 public:
  UpgradeRestartCoordinator(FileIdentity running, UpgradeRestartDependencies dependencies);

  // Never throws.
  UpgradeCheck check();

 private:
  void diagnoseOnce(const FileIdentity& installed, std::string_view why);

  FileIdentity running_;
  UpgradeRestartDependencies dependencies_;
  // The new executable last told about, so the journal hears of each one once, not every tick.
  std::optional<FileIdentity> reported_;
};

// The daemon's watch, bound to the executable it was started from and to the helper's restart
// decision; none when the process does not run under the service manager (nothing would start
// the new executable after the exit) or when its executable cannot be identified.
std::optional<UpgradeRestartCoordinator> productionUpgradeRestart(Helper& helper);

}  // namespace nubrik
