#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "app/gui_status.hpp"
#include "core/date.hpp"
#include "core/nubrik_xpc.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

// Where a service stands with the system's service manager: the helper's system service, or the
// app's own start at login. requiresApproval means the user must allow it first; unknown covers
// every answer the app cannot place (and every failure to ask).
enum class RegistrationStatus { notRegistered, enabled, requiresApproval, notFound, unknown };

std::string_view describe(RegistrationStatus status);
std::ostream& operator<<(std::ostream& out, RegistrationStatus status);

// What the helper-setup sheet shows and offers. The first five carry the message shown.
struct HelperSetupState {
  enum class Kind {
    healthCheckFailed,
    versionIncompatible,
    helperUpdateAvailable,
    appUpdateRequired,
    registrationFailed,
    notInstalled,
    approvalRequired,
    installedReady,
  };
  Kind kind = Kind::notInstalled;
  std::string message;

  bool operator==(const HelperSetupState&) const = default;
  static HelperSetupState healthCheckFailed(std::string message);
  static HelperSetupState versionIncompatible(std::string message);
  static HelperSetupState helperUpdateAvailable(std::string message);
  static HelperSetupState appUpdateRequired(std::string message);
  static HelperSetupState registrationFailed(std::string message);
  static HelperSetupState notInstalled();
  static HelperSetupState approvalRequired();
  static HelperSetupState installedReady();
};

// Default textual form, e.g. `registrationFailed("...")` or `installedReady`.
std::string describe(const HelperSetupState& state);
std::ostream& operator<<(std::ostream& out, const HelperSetupState& state);

inline constexpr std::string_view helperManualTransitionGuidance =
    "Automatic helper replacement is unavailable. The existing helper is retained. Allow any "
    "existing session/restoration to finish, close all older Tamsel app instances, then use the "
    "signed manual transition procedure in RECOVERY.md. Choose Check Again afterward to check "
    "readiness.";
inline constexpr std::string_view helperNotAnsweredYetMessage =
    "The helper is registered but has not answered a health check yet.";
inline constexpr std::string_view helperOutOfDateMessage =
    "The helper is out of date. Updating restarts it; no session may be active.";
inline constexpr std::string_view helperNewerAvailableMessage =
    "A newer helper is available. Updating restarts the helper; no session may be active.";
inline constexpr std::string_view appOlderThanHelperMessage =
    "This app is older than the installed helper. Update Tamsel, then check again.";
inline constexpr std::string_view developerHelperExistsMessage =
    "A developer helper exists. Use scripts/install-dev and RECOVERY.md; do not mix installation "
    "methods.";
inline constexpr std::string_view helperDidNotComeBackMessage =
    "The helper did not come back after re-registering. Choose Check Again; if it keeps failing, "
    "open Help from Tamsel's menu bar icon and see RECOVERY.md.";

// "The helper is in an unknown state. " followed by the guidance.
std::string helperUnknownStateMessage();
// "Could not re-register the helper: <description>. Open Help from Tamsel's menu bar icon and see
// RECOVERY.md."; a description that already ends in a full stop does not get a second one.
std::string helperReRegistrationFailedMessage(std::string_view errorDescription);

// The state a registration status gives before any health check.
HelperSetupState mapHelperSetupState(RegistrationStatus status);

// The state for a registration status and a health check of the helper.
HelperSetupState resolveSetupState(RegistrationStatus registration, const HealthProbeResult& health,
                                   std::string_view expectedHelperVersion = nubrikHelperVersion);

enum class HelperUpgradeDecision { ready, offerUpdate, appTooOld, helperTooOld };

// Equal protocols -> ready; a newer helper -> appTooOld; one older than minRestartableProtocol
// (which cannot take the restart request) -> helperTooOld; otherwise offerUpdate.
HelperUpgradeDecision helperUpgradeDecision(std::int64_t helperProtocol,
                                            std::int64_t appProtocol = nubrikXPCProtocolVersion,
                                            std::int64_t minRestartableProtocol = 3);

// Whether the sheet offers to install: after a failed registration or with no helper.
bool helperInstallationIsAvailable(const HelperSetupState& state);

// Whether a helper that failed its health check may be re-registered now: never while a session
// runs (an active status whose expiration is still ahead) or the helper is busy.
bool helperRepairIsAllowed(const HelperSetupState& state, const GuiStatus& status, Date now);

// Whether the window updates the helper by itself: once, while idle, when an update is on offer.
bool shouldAutoUpdateHelper(const HelperSetupState& state, const GuiStatus& status, bool attempted);

// Whether this tick of the window probes the helper setup: a ready helper every readyInterval
// ticks (never when it is below 1), any other state on every tick.
bool shouldProbeHelperSetup(const HelperSetupState& state, std::int64_t tickCount,
                            std::int64_t readyInterval = 30);

// The sheet's status line for a state.
std::string helperSetupStatusLine(const HelperSetupState& state);

}  // namespace nubrik
