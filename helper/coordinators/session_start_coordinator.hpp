#pragma once

#include <functional>
#include <optional>

#include "core/date.hpp"
#include "core/session.hpp"
#include "core/session_clock.hpp"
#include "helper/coordinators/activation_coordinator.hpp"
#include "helper/coordinators/capture_coordinator.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

class Helper;

struct SessionStartDependencies {
  std::function<std::optional<OfflineSession>()> loadSession;  // throws SessionStartError
  std::function<CapturedSnapshot()> captureSnapshot;           // throws
  std::function<void(const OfflineSession&)> saveSession;      // throws
  std::function<ActivationOutcome()> activateOffline;
  std::function<void()> publishActivationPending;
  std::function<Date()> currentDate;
  // The boot clock the session is measured on; may be left empty (the wall clock alone).
  std::function<std::optional<BootInstant>()> bootClock;

  // The store, the helper's network, the wall and boot clocks.
  static SessionStartDependencies production(Helper& helper);
};

// The single place where a session comes into being.
class SessionStartCoordinator {
 public:
  static constexpr double minimumDuration = 300.0;
  static constexpr double maximumDuration = 86400.0;

  explicit SessionStartCoordinator(SessionStartDependencies dependencies);

  // Returns the saved and fully activated session; throws SessionStartError or the save's error.
  OfflineSession start(double duration) const;

  static std::optional<OfflineSession> existingSession(const SessionLoadResult& result);

 private:
  SessionStartDependencies dependencies_;
};

}  // namespace nubrik
