#include "app/helper_setup_systemd.hpp"

#include <cerrno>
#include <initializer_list>
#include <system_error>

namespace nubrik {

namespace {

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  for (const std::string_view candidate : names) {
    if (name == candidate) return true;
  }
  return false;
}

// Errors that say the unit file does not exist (GetUnitFileState answers FileNotFound).
bool isMissingUnit(const SystemdCallResult& answer) {
  return isOneOf(answer.errorName, {"org.freedesktop.DBus.Error.FileNotFound",
                                    "org.freedesktop.systemd1.NoSuchUnit"});
}

std::string sentence(std::string text) {
  if (!text.empty() && text.back() != '.' && text.back() != '!' && text.back() != '?') {
    text += '.';
  }
  return text;
}

}  // namespace

RegistrationStatus registrationStatusForUnitFileState(const SystemdCallResult& answer) {
  if (isMissingUnit(answer)) return RegistrationStatus::notFound;
  if (!answer.succeeded()) return RegistrationStatus::unknown;
  const std::string_view state = answer.state;
  if (state == "enabled") return RegistrationStatus::enabled;
  if (isOneOf(state, {"disabled", "enabled-runtime", "linked", "linked-runtime"})) {
    return RegistrationStatus::notRegistered;
  }
  if (state == "not-found") return RegistrationStatus::notFound;
  return RegistrationStatus::unknown;
}

HelperRegistrationError registrationErrorFor(const SystemdCallResult& failure,
                                             std::string_view unit) {
  const std::string unitName(unit);
  if (failure.transportError != 0) {
    if (failure.transportError == ETIMEDOUT) return {"systemd did not answer in time."};
    if (failure.transportError == ECANCELED) return {"The request to systemd was cancelled."};
    return {"Cannot reach systemd on the system bus: " +
            std::generic_category().message(failure.transportError) + "."};
  }
  const std::string_view name = failure.errorName;
  if (isOneOf(name, {"org.freedesktop.DBus.Error.AccessDenied",
                     "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                     "org.freedesktop.DBus.Error.AuthFailed",
                     "org.freedesktop.PolicyKit1.Error.NotAuthorized",
                     "org.freedesktop.PolicyKit1.Error.Cancelled"})) {
    return {std::string(systemdAuthorizationRefusedMessage)};
  }
  if (isMissingUnit(failure)) return {"The helper's service " + unitName + " is not installed."};
  if (name == "org.freedesktop.systemd1.UnitMasked") {
    return {"The helper's service " + unitName + " is masked. Unmask it with systemctl unmask " +
            unitName + ", then try again."};
  }
  if (isOneOf(name, {"org.freedesktop.DBus.Error.NoReply", "org.freedesktop.DBus.Error.Timeout",
                     "org.freedesktop.DBus.Error.TimedOut"})) {
    return {"systemd did not answer in time."};
  }
  if (isOneOf(name, {"org.freedesktop.DBus.Error.ServiceUnknown",
                     "org.freedesktop.DBus.Error.NameHasNoOwner"})) {
    return {"systemd is not running on the system bus."};
  }
  return {"systemd refused the request: " +
          sentence(failure.errorMessage.empty() ? failure.errorName : failure.errorMessage)};
}

RegistrationStatus helperServiceStatus(const SystemdUnits& units, const std::string& unit) {
  return registrationStatusForUnitFileState(units.getUnitFileState(unit));
}

std::optional<HelperRegistrationError> registerHelperService(const SystemdUnits& units,
                                                             const std::string& unit) {
  const SystemdCallResult enabled = units.enableUnitFiles(unit);
  if (!enabled.succeeded()) return registrationErrorFor(enabled, unit);
  if (!enabled.carriesInstallInfo) {
    return HelperRegistrationError{"The helper's service " + unit +
                                   " has no [Install] section, so it cannot be enabled."};
  }
  // systemd reads the new links only on a reload, as `systemctl enable` does.
  if (const SystemdCallResult reloaded = units.reload(); !reloaded.succeeded()) {
    return registrationErrorFor(reloaded, unit);
  }
  if (const SystemdCallResult started = units.startUnit(unit); !started.succeeded()) {
    return registrationErrorFor(started, unit);
  }
  return std::nullopt;
}

std::optional<HelperRegistrationError> unregisterHelperService(const SystemdUnits& units,
                                                               const std::string& unit) {
  if (const SystemdCallResult stopped = units.stopUnit(unit);
      !stopped.succeeded() && !isMissingUnit(stopped)) {
    return registrationErrorFor(stopped, unit);
  }
  if (const SystemdCallResult disabled = units.disableUnitFiles(unit);
      !disabled.succeeded() && !isMissingUnit(disabled)) {
    return registrationErrorFor(disabled, unit);
  }
  if (const SystemdCallResult reloaded = units.reload(); !reloaded.succeeded()) {
    return registrationErrorFor(reloaded, unit);
  }
  return std::nullopt;
}

}  // namespace nubrik
