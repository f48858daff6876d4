#pragma once

#include <string>

namespace nubrik {

// Where the daemon's state files live. A value: the helper holds the one set it works with.
struct StatePaths {
  std::string supportDirectory;
  std::string sessionFile;
  std::string recoveryPendingFile;
  std::string stateLockFile;
  std::string schedulesFile;
  std::string statusFile;
  std::string generationFile;

  // The fixed paths of this platform.
  static StatePaths production();
  // The whole set in one directory, under the production names; the status and generation files
  // become "status.json" and "generation.json" there.
  static StatePaths inDirectory(const std::string& directory);
};

}  // namespace nubrik
