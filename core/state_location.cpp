#include "core/state_location.hpp"

#include "core/paths.hpp"

namespace nubrik {

namespace {

std::optional<std::string>& testDirectoryStorage() {
  static std::optional<std::string> directory;
  return directory;
}

std::string inTestDirectory(const std::string& directory, const char* name) {
  return directory + "/" + name;
}

}  // namespace

const std::optional<std::string>& StateLocation::testSupportDirectory() {
  return testDirectoryStorage();
}

void StateLocation::setTestSupportDirectoryForTest(std::optional<std::string> directory) {
  testDirectoryStorage() = std::move(directory);
}

std::string StateLocation::supportDirectory() {
  const auto& directory = testSupportDirectory();
  return directory ? *directory : std::string(NubrikPaths::supportDir);
}

std::string StateLocation::sessionFile() {
  const auto& directory = testSupportDirectory();
  return directory ? inTestDirectory(*directory, "session.json")
                   : std::string(NubrikPaths::sessionFile);
}

std::string StateLocation::recoveryPendingFile() {
  const auto& directory = testSupportDirectory();
  return directory ? inTestDirectory(*directory, "recovery-pending.json")
                   : std::string(NubrikPaths::recoveryPendingFile);
}

std::string StateLocation::stateLockFile() {
  const auto& directory = testSupportDirectory();
  return directory ? inTestDirectory(*directory, "transaction.lock")
                   : std::string(NubrikPaths::stateLockFile);
}

std::string StateLocation::schedulesFile() {
  return inTestDirectory(supportDirectory(), "schedules.json");
}

std::string StateLocation::statusFile() {
  const auto& directory = testSupportDirectory();
  return directory ? inTestDirectory(*directory, "status.json")
                   : std::string(NubrikPaths::statusFile);
}

std::string StateLocation::generationFile() {
  const auto& directory = testSupportDirectory();
  return directory ? inTestDirectory(*directory, "generation.json")
                   : std::string(NubrikPaths::generationFile);
}

}  // namespace nubrik
