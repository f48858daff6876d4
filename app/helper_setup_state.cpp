#include "app/helper_setup_state.hpp"

#include <utility>

namespace nubrik {

namespace {

HelperSetupState withMessage(HelperSetupState::Kind kind, std::string message) {
  HelperSetupState state;
  state.kind = kind;
  state.message = std::move(message);
  return state;
}

HelperSetupState withoutMessage(HelperSetupState::Kind kind) {
  HelperSetupState state;
  state.kind = kind;
  return state;
}

std::string_view kindName(HelperSetupState::Kind kind) {
  using Kind = HelperSetupState::Kind;
  switch (kind) {
    case Kind::healthCheckFailed:
      return "healthCheckFailed";
    case Kind::versionIncompatible:
      return "versionIncompatible";
    case Kind::helperUpdateAvailable:
      return "helperUpdateAvailable";
    case Kind::appUpdateRequired:
      return "appUpdateRequired";
    case Kind::registrationFailed:
      return "registrationFailed";
    case Kind::notInstalled:
      return "notInstalled";
    case Kind::approvalRequired:
      return "approvalRequired";
    case Kind::installedReady:
      return "installedReady";
  }
  return "notInstalled";
}

bool carriesMessage(HelperSetupState::Kind kind) {
  using Kind = HelperSetupState::Kind;
  return kind != Kind::notInstalled && kind != Kind::approvalRequired &&
         kind != Kind::installedReady;
}

}  // namespace

std::string_view describe(RegistrationStatus status) {
  switch (status) {
    case RegistrationStatus::notRegistered:
      return "notRegistered";
    case RegistrationStatus::enabled:
      return "enabled";
    case RegistrationStatus::requiresApproval:
      return "requiresApproval";
    case RegistrationStatus::notFound:
      return "notFound";
    case RegistrationStatus::unknown:
      return "unknown";
  }
  return "unknown";
}

std::ostream& operator<<(std::ostream& out, RegistrationStatus status) {
  return out << describe(status);
}

HelperSetupState HelperSetupState::healthCheckFailed(std::string message) {
  return withMessage(Kind::healthCheckFailed, std::move(message));
}
HelperSetupState HelperSetupState::versionIncompatible(std::string message) {
  return withMessage(Kind::versionIncompatible, std::move(message));
}
HelperSetupState HelperSetupState::helperUpdateAvailable(std::string message) {
  return withMessage(Kind::helperUpdateAvailable, std::move(message));
}
HelperSetupState HelperSetupState::appUpdateRequired(std::string message) {
  return withMessage(Kind::appUpdateRequired, std::move(message));
}
HelperSetupState HelperSetupState::registrationFailed(std::string message) {
  return withMessage(Kind::registrationFailed, std::move(message));
}
HelperSetupState HelperSetupState::notInstalled() {
  return withoutMessage(Kind::notInstalled);
}
HelperSetupState HelperSetupState::approvalRequired() {
  return withoutMessage(Kind::approvalRequired);
}
HelperSetupState HelperSetupState::installedReady() {
  return withoutMessage(Kind::installedReady);
}

std::string describe(const HelperSetupState& state) {
  std::string text(kindName(state.kind));
  if (carriesMessage(state.kind)) text += "(\"" + state.message + "\")";
  return text;
}

std::ostream& operator<<(std::ostream& out, const HelperSetupState& state) {
  return out << describe(state);
}

std::string helperUnknownStateMessage() {
  return "The helper is in an unknown state. " + std::string(helperManualTransitionGuidance);
}

std::string helperReRegistrationFailedMessage(std::string_view errorDescription) {
  if (errorDescription.ends_with('.')) errorDescription.remove_suffix(1);
  return "Could not re-register the helper: " + std::string(errorDescription) +
         ". Open Help from Tamsel's menu bar icon and see RECOVERY.md.";
}

HelperSetupState mapHelperSetupState(RegistrationStatus status) {
  switch (status) {
    case RegistrationStatus::notRegistered:
    case RegistrationStatus::notFound:
      return HelperSetupState::notInstalled();
    case RegistrationStatus::enabled:
      return HelperSetupState::healthCheckFailed(std::string(helperNotAnsweredYetMessage));
    case RegistrationStatus::requiresApproval:
      return HelperSetupState::approvalRequired();
    case RegistrationStatus::unknown:
      break;
  }
  return HelperSetupState::registrationFailed(helperUnknownStateMessage());
}

HelperSetupState resolveSetupState(RegistrationStatus registration, const HealthProbeResult& health,
                                   std::string_view expectedHelperVersion) {
  if (registration != RegistrationStatus::enabled) return mapHelperSetupState(registration);

  const std::string guidance(helperManualTransitionGuidance);
  switch (health.kind) {
    case HealthProbeResult::Kind::ready:
      if (health.version == expectedHelperVersion) return HelperSetupState::installedReady();
      return HelperSetupState::helperUpdateAvailable(std::string(helperOutOfDateMessage));
    case HealthProbeResult::Kind::versionMismatch:
      switch (helperUpgradeDecision(health.helperVersion, health.expected)) {
        case HelperUpgradeDecision::appTooOld:
          return HelperSetupState::appUpdateRequired(std::string(appOlderThanHelperMessage));
        case HelperUpgradeDecision::offerUpdate:
          return HelperSetupState::helperUpdateAvailable(std::string(helperNewerAvailableMessage));
        case HelperUpgradeDecision::helperTooOld:
          return HelperSetupState::versionIncompatible(
              "The helper protocol version (" + std::to_string(health.helperVersion) +
              ") is incompatible with this app (" + std::to_string(health.expected) + "). " +
              guidance);
        case HelperUpgradeDecision::ready:
          return HelperSetupState::healthCheckFailed(
              "The helper is registered but its protocol version could not be resolved. " +
              guidance);
      }
      break;
    case HealthProbeResult::Kind::failed:
      break;
  }
  return HelperSetupState::healthCheckFailed(
      "The helper is registered but did not respond to a health check. " + guidance);
}

HelperUpgradeDecision helperUpgradeDecision(std::int64_t helperProtocol, std::int64_t appProtocol,
                                            std::int64_t minRestartableProtocol) {
  if (helperProtocol == appProtocol) return HelperUpgradeDecision::ready;
  if (helperProtocol > appProtocol) return HelperUpgradeDecision::appTooOld;
  if (helperProtocol < minRestartableProtocol) return HelperUpgradeDecision::helperTooOld;
  return HelperUpgradeDecision::offerUpdate;
}

bool helperInstallationIsAvailable(const HelperSetupState& state) {
  return state.kind == HelperSetupState::Kind::registrationFailed ||
         state.kind == HelperSetupState::Kind::notInstalled;
}

bool helperRepairIsAllowed(const HelperSetupState& state, const GuiStatus& status, Date now) {
  if (state.kind != HelperSetupState::Kind::healthCheckFailed) return false;
  switch (status.kind()) {
    case GuiStatus::Kind::confirmedIdle:
      return true;
    case GuiStatus::Kind::unavailable:
      return status.unavailableReason() != StatusUnavailableReason::busy;
    case GuiStatus::Kind::confirmedActive:
      // A status still saying active after its expiration is a session that has ended.
      return *status.expirationDate() <= now;
  }
  return false;
}

bool shouldAutoUpdateHelper(const HelperSetupState& state, const GuiStatus& status,
                            bool attempted) {
  return !attempted && status.isConfirmedIdle() &&
         state.kind == HelperSetupState::Kind::helperUpdateAvailable;
}

bool shouldProbeHelperSetup(const HelperSetupState& state, std::int64_t tickCount,
                            std::int64_t readyInterval) {
  if (state.kind != HelperSetupState::Kind::installedReady) return true;
  if (readyInterval < 1) return false;
  return tickCount % readyInterval == 0;
}

std::string helperSetupStatusLine(const HelperSetupState& state) {
  switch (state.kind) {
    case HelperSetupState::Kind::notInstalled:
      return "The helper is not installed.";
    case HelperSetupState::Kind::registrationFailed:
      return "Installation failed: " + state.message;
    case HelperSetupState::Kind::approvalRequired:
      return std::string(helperApprovalMessage);
    case HelperSetupState::Kind::installedReady:
      return "The helper is installed and ready.";
    case HelperSetupState::Kind::healthCheckFailed:
    case HelperSetupState::Kind::versionIncompatible:
    case HelperSetupState::Kind::helperUpdateAvailable:
    case HelperSetupState::Kind::appUpdateRequired:
      break;
  }
  return state.message;
}

}  // namespace nubrik
