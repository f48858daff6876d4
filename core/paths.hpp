#pragma once

namespace nubrik {

// Every fixed path of the system, chosen at build time by platform.
struct NubrikPaths {
#if defined(__APPLE__)
  static constexpr const char* supportDir = "/Library/Application Support/Nubrik";
  static constexpr const char* sessionFile = "/Library/Application Support/Nubrik/session.json";
  static constexpr const char* recoveryPendingFile =
      "/Library/Application Support/Nubrik/recovery-pending.json";
  static constexpr const char* stateLockFile =
      "/Library/Application Support/Nubrik/transaction.lock";
  static constexpr const char* statusFile = "/var/run/nubrik-status.json";
  static constexpr const char* generationFile = "/var/run/nubrik-generation.json";
  static constexpr const char* logDir = "/Library/Logs/Nubrik";
  static constexpr const char* logFile = "/Library/Logs/Nubrik/helper.log";
  static constexpr const char* helperTool = "/Library/PrivilegedHelperTools/com.nubrik.helper";
  static constexpr const char* daemonPlist = "/Library/LaunchDaemons/com.nubrik.helper.plist";
#else
  static constexpr const char* supportDir = "/var/lib/nubrik";
  static constexpr const char* sessionFile = "/var/lib/nubrik/session.json";
  static constexpr const char* recoveryPendingFile = "/var/lib/nubrik/recovery-pending.json";
  static constexpr const char* stateLockFile = "/var/lib/nubrik/transaction.lock";
  static constexpr const char* statusFile = "/var/run/nubrik-status.json";
  static constexpr const char* generationFile = "/var/run/nubrik-generation.json";
  static constexpr const char* logDir = "/var/log/nubrik";
  static constexpr const char* logFile = "/var/log/nubrik/helper.log";
  static constexpr const char* helperTool = "/usr/libexec/nubrik/com.nubrik.helper";
  static constexpr const char* daemonPlist = "/etc/systemd/system/com.nubrik.helper.service";
#endif
};

}  // namespace nubrik
