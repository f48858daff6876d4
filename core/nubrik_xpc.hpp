#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nubrik {

// The version of the request protocol below; the app relies on a helper only when it reports
// exactly this version.
inline constexpr std::int64_t nubrikXPCProtocolVersion = 5;
// The helper's release, reported by its health check: the project version and any suffix the
// build adds ("1.0.14", "1.0.14+test2").
extern const char* const nubrikHelperVersion;
// The largest schedule payload (bytes) that the helper decodes and that the app sends.
inline constexpr std::int64_t scheduleMaxPayloadBytes = 65536;

// One method of the helper's bus interface: its member name and D-Bus signatures.
struct HelperXPCMethod {
  const char* member;
  const char* inSignature;
  const char* outSignature;
};

// The names both deliverables agree on: service, identities, install places, and the bus
// interface that carries the requests.
struct NubrikXPC {
  // The name the helper serves on; on Linux the well-known name on the system bus.
  static constexpr const char* machServiceName = "com.nubrik.helper.xpc";
  static constexpr const char* daemonPlistName = "com.nubrik.helper.plist";
  static constexpr const char* helperLabel = "com.nubrik.helper";
  // The identity the helper requires of its clients.
  static constexpr const char* appIdentifier = "com.nubrik.app";
  // The identity the app requires of the helper.
  static constexpr const char* helperIdentifier = "com.nubrik.helper";
  // The desktop program's own identity. It is not the app's: the desktop program never holds the
  // app's group, and reaches the helper only through connections that `tamsel` makes for it.
  static constexpr const char* desktopIdentifier = "com.nubrik.app.desktop";
  static constexpr const char* helperExecutableRelativePath =
      "Contents/Library/PrivilegedHelperTools/com.nubrik.helper";
  static constexpr const char* daemonPlistRelativePath =
      "Contents/Library/LaunchDaemons/com.nubrik.helper.plist";

  // The bus transport.
  static constexpr const char* busName = machServiceName;
  static constexpr const char* objectPath = "/com/nubrik/helper";
  static constexpr const char* interfaceName = "com.nubrik.HelperXPC";

  // The seven requests, in the protocol's order. Codes travel as "x" (int64), timestamps as
  // "d" (seconds since 1970, 0 = no date), messages as "s", schedule payloads as "ay".
  static constexpr HelperXPCMethod startSessionWithDuration{"StartSessionWithDuration", "d", "xds"};
  static constexpr HelperXPCMethod healthCheck{"HealthCheck", "", "xsx"};
  static constexpr HelperXPCMethod prepareRestart{"PrepareRestart", "", "xs"};
  static constexpr HelperXPCMethod requestEarlyUnlock{"RequestEarlyUnlock", "", "xds"};
  static constexpr HelperXPCMethod cancelEarlyUnlock{"CancelEarlyUnlock", "", "xds"};
  static constexpr HelperXPCMethod setSchedules{"SetSchedules", "ay", "xs"};
  static constexpr HelperXPCMethod getSchedules{"GetSchedules", "", "xays"};

  // The helper's user notification: Notification(s title, s message), emitted on objectPath.
  static constexpr const char* notificationSignal = "Notification";
  static constexpr const char* notificationSignature = "ss";

  // The identity requirement text for a peer with this identifier under this Team ID, or none
  // when the Team ID is absent or either value is empty once its double quotes are removed.
  static std::optional<std::string> codeSigningRequirement(
      std::string_view identifier, const std::optional<std::string>& teamID);
};

}  // namespace nubrik
