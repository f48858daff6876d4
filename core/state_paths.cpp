#include "core/state_paths.hpp"

#include "core/paths.hpp"

namespace nubrik {

StatePaths StatePaths::production() {
  return StatePaths{
      NubrikPaths::supportDir,
      NubrikPaths::sessionFile,
      NubrikPaths::recoveryPendingFile,
      NubrikPaths::stateLockFile,
      std::string(NubrikPaths::supportDir) + "/schedules.json",
      NubrikPaths::statusFile,
      NubrikPaths::generationFile,
  };
}

StatePaths StatePaths::inDirectory(const std::string& directory) {
  const auto in = [&directory](const char* name) { return directory + "/" + name; };
  return StatePaths{
      directory,
      in("session.json"),
      in("recovery-pending.json"),
      in("transaction.lock"),
      in("schedules.json"),
      in("status.json"),
      in("generation.json"),
  };
}

}  // namespace nubrik
