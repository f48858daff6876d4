#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/helper_setup.hpp"
#include "app/helper_setup_state.hpp"
#include "app/systemd_units.hpp"

namespace nubrik {

// The helper's system service, shipped in the package's unit directory.
inline constexpr const char* helperServiceUnitName = "com.nubrik.helper.service";

inline constexpr std::string_view systemdAuthorizationRefusedMessage =
    "Administrator authorization was refused or cancelled.";

// The registration status for systemd's answer to GetUnitFileState:
//   "enabled"                                      -> enabled
//   "disabled", "enabled-runtime", "linked",
//   "linked-runtime"                               -> notRegistered: present, but nothing starts it
//                                                     at boot (a runtime enablement ends with the
//                                                     boot; a link is a hand-made unit, which the
//                                                     developer-helper check then reports)
//   no such unit file                              -> notFound
//   "masked", "static", anything else, any failure -> unknown: the app cannot register over it
RegistrationStatus registrationStatusForUnitFileState(const SystemdCallResult& answer);

// The words for a failed request: refused or cancelled authorization, a missing or masked unit,
// no answer in time, no systemd on the bus, or systemd's own message.
HelperRegistrationError registrationErrorFor(const SystemdCallResult& failure,
                                             std::string_view unit = helperServiceUnitName);

RegistrationStatus helperServiceStatus(const SystemdUnits& units,
                                       const std::string& unit = helperServiceUnitName);

// Enable, reload, start; stops at the first failure.
std::optional<HelperRegistrationError> registerHelperService(
    const SystemdUnits& units, const std::string& unit = helperServiceUnitName);

// Stop, disable, reload; stops at the first failure. A unit that is gone counts as stopped and
// disabled.
std::optional<HelperRegistrationError> unregisterHelperService(
    const SystemdUnits& units, const std::string& unit = helperServiceUnitName);

}  // namespace nubrik
