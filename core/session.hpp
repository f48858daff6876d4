#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.hpp"

namespace nubrik {

// Time from an early-unlock request to the restore.
inline constexpr double nubrikEarlyUnlockCooldownSeconds = 900.0;

struct ServiceState {
  std::string name;
  bool wasEnabled = false;
  bool operator==(const ServiceState&) const = default;
};

struct InterfaceState {
  std::string name;
  bool wasUp = false;
  bool operator==(const InterfaceState&) const = default;
};

struct OfflineSession {
  std::string id;
  Date startDate;
  Date expirationDate;
  std::vector<ServiceState> services;
  std::map<std::string, bool> wifiPower;
  // Absent in legacy records written before interfaces were captured.
  std::optional<std::vector<InterfaceState>> interfaces;
  bool active = true;
  std::optional<Date> originalExpirationDate;
  std::optional<Date> earlyUnlockRequestedAt;
  // The boot the session is measured in and the boot clock (seconds since that boot, suspend
  // included) at its start. Absent in records written before sessions were measured this way.
  std::optional<std::string> bootID;
  std::optional<double> bootTimeAtStart;

  bool operator==(const OfflineSession&) const = default;

  // True when now is at or after the expiration.
  bool isExpired(Date now) const;
  // True when now is earlier than startDate - 300 s: the clock was set back after the start.
  bool clockLooksWoundBack(Date now) const;
  // True exactly when originalExpirationDate is present.
  bool earlyUnlockPending() const;
};

// Compact JSON of the session file; optional keys are left out.
std::string encodeSession(const OfflineSession& session);
// Strict decode of the session file's bytes; throws DecodingError.
OfflineSession decodeSession(std::string_view bytes);

}  // namespace nubrik
