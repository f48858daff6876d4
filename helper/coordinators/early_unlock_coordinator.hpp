#pragma once

#include <functional>

#include "core/date.hpp"
#include "core/early_unlock_result.hpp"
#include "core/session.hpp"
#include "core/session_clock.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

class Helper;

struct EarlyUnlockDependencies {
  std::function<SessionLoadResult()> loadState;
  std::function<void(const OfflineSession&)> save;  // throws
  std::function<void(const OfflineSession&)> publishStatus;
  std::function<Date()> now;
  // The boot clock the session is measured on; may be left empty (the wall clock alone).
  std::function<std::optional<BootInstant>()> bootClock;
  double cooldown = nubrikEarlyUnlockCooldownSeconds;

  // The session store's load, save and status publication, and the wall clock.
  static EarlyUnlockDependencies production(Helper& helper);
};

// Shortens a running session to end one cooldown from now, or undoes that while the cooldown
// runs. Each call belongs inside one helper transaction (status-neutral off), which the caller
// provides; the caller also maps a busy or failed transaction to its own codes.
class EarlyUnlockCoordinator {
 public:
  explicit EarlyUnlockCoordinator(EarlyUnlockDependencies dependencies);
  static EarlyUnlockCoordinator production(Helper& helper);

  // Never throws: a failed save answers `failed` and publishes nothing.
  EarlyUnlockResult request() const;
  EarlyUnlockResult cancel() const;

 private:
  EarlyUnlockDependencies dependencies_;
};

}  // namespace nubrik
