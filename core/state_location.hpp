#pragma once

#include <optional>
#include <string>

namespace nubrik {

// Where the daemon's state files live. Production uses the fixed paths; tests point the whole
// set at a directory of their own, where the status and generation files become "status.json"
// and "generation.json".
class StateLocation {
 public:
  static const std::optional<std::string>& testSupportDirectory();
  static void setTestSupportDirectoryForTest(std::optional<std::string> directory);

  static std::string supportDirectory();
  static std::string sessionFile();
  static std::string recoveryPendingFile();
  static std::string stateLockFile();
  static std::string schedulesFile();
  static std::string statusFile();
  static std::string generationFile();
};

}  // namespace nubrik
