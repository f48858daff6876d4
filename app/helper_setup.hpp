#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/gui_status.hpp"
#include "app/helper_setup_state.hpp"
#include "core/date.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

// Why registering or unregistering the helper's service failed, in words for the person.
struct HelperRegistrationError {
  std::string message;

  bool operator==(const HelperRegistrationError&) const = default;
};

using RegistrationCompletion = std::function<void(std::optional<HelperRegistrationError> error)>;

// The operations helper setup needs. Every completion is called exactly once, on the main queue:
// the service manager's requests block (and may wait for an administrator's password), so they
// run elsewhere and report back, like the helper's own replies.
struct HelperSetupDependencies {
  // The registration status of the helper's service.
  std::function<void(std::function<void(RegistrationStatus)> completion)> registrationStatus;
  // Registers the helper's service (enable and start it).
  std::function<void(RegistrationCompletion completion)> registerHelper;
  // A health check of the helper, with the request time-out.
  std::function<void(std::function<void(HealthProbeResult)> completion)> probeHealth;
  // Whether a helper was installed by hand, beside any registration of the app's.
  std::function<bool()> developerHelperExists;
  // The helper's restart request, with the request time-out.
  std::function<void(std::function<void(HelperRestartOutcome)> completion)> requestRestart;
  // Unregisters the helper's service (stop and disable it).
  std::function<void(RegistrationCompletion completion)> unregisterHelper;
  // Runs work on the main queue after a delay in seconds.
  std::function<void(double seconds, std::function<void()> work)> schedule;
  // One synchronous read of the helper's public status.
  std::function<GuiStatus()> publicStatus;
  std::function<Date()> now;
  // Shows where the user allows services to start; empty where the system has no such place.
  std::function<void()> openLoginItems;
};

// The controller behind the helper-setup sheet: it turns the registration status and a health
// check into a HelperSetupState, and it installs, updates (restarts into a newer helper) and
// repairs (re-registers) the helper. It lives on the main queue; every call and every completion
// of its dependencies happens there.
class HelperSetup {
 public:
  // Probes of a helper restarted for an update, the first this long after the restart was
  // accepted; then a re-registration.
  static constexpr int updateHealthPolls = 8;
  static constexpr double updateFirstPollDelay = 2.0;
  // Probes after a re-registration, the first this long after it.
  static constexpr int repairHealthPolls = 20;
  static constexpr double repairFirstPollDelay = 1.0;
  // Between one probe's answer and the next probe.
  static constexpr double healthPollInterval = 1.0;

  explicit HelperSetup(HelperSetupDependencies dependencies);
  ~HelperSetup();
  HelperSetup(const HelperSetup&) = delete;
  HelperSetup& operator=(const HelperSetup&) = delete;

  const HelperSetupState& state() const;
  // True while an install, update or repair is in progress.
  bool isWorking() const;
  // True while a refresh is waiting for the registration status or the helper's health.
  bool healthProbeInFlight() const;
  // Raised by every install, update and repair; a continuation started under an older value does
  // nothing.
  std::uint64_t refreshEpoch() const;
  const HelperSetupDependencies& dependencies() const;

  // Called on the main queue whenever state, isWorking or healthProbeInFlight may have changed.
  void setOnChange(std::function<void()> onChange);

  // The four do nothing while an operation is working or a refresh is outstanding.
  void refresh();
  // Only from notInstalled or registrationFailed.
  void install();
  // Only from helperUpdateAvailable.
  void updateHelper();
  // Only from healthCheckFailed, with the helper registered, no session running and the helper
  // not busy.
  void repairHelper();
  void openLoginItems() const;

  class Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace nubrik
