#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/date.hpp"
#include "core/session.hpp"
#include "core/session_clock.hpp"
#include "helper/coordinators/enforcement_coordinator.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

class Helper;
class TransactionRunner;

struct DaemonTickDependencies {
  std::function<SessionLoadResult()> loadState;  // may record a corruption
  std::function<Date()> now;
  std::function<bool(const OfflineSession&)> runRestoration;
  std::function<EnforcementOutcome()> runEnforcement;
  std::function<bool()> runRecovery;
  std::function<void()> publishIdle;
  std::function<void(const std::string&)> log;
  // Starts a due weekly schedule.
  std::function<void()> runScheduledStart;
  // The boot clock, and how a session newly anchored in this boot is kept. Either may be left
  // empty: the session is then judged on the wall clock alone.
  std::function<std::optional<BootInstant>()> bootClock;
  std::function<void(const OfflineSession&)> saveSession;  // throws

  // Fresh production coordinators over the helper's resources behind every operation.
  static DaemonTickDependencies production(Helper& helper);
};

// One daemon tick: load the stored state and do exactly one thing about it.
class DaemonTickCoordinator {
 public:
  explicit DaemonTickCoordinator(DaemonTickDependencies dependencies);

  const DaemonTickDependencies& dependencies() const { return dependencies_; }

  // The decision alone, without a transaction.
  void tick() const;
  // tick() inside one helper transaction; throws when the transaction cannot be entered.
  void transactionalTick(TransactionRunner& transactions) const;

 private:
  DaemonTickDependencies dependencies_;
};

// Runs the coordinator's transactional tick; a tick that cannot run is logged and skipped, so
// nothing ever escapes.
void runTick(const DaemonTickCoordinator& coordinator, TransactionRunner& transactions) noexcept;

// The daemon's tick with the production operations. Never throws.
void tick(Helper& helper) noexcept;

}  // namespace nubrik
