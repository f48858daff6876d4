#include "helper/store/session_store.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "core/file_read.hpp"
#include "core/public_status.hpp"
#include "core/state_location.hpp"
#include "helper/log/log.hpp"
#include "helper/transaction/atomic_public_file.hpp"
#include "helper/transaction/helper_transaction.hpp"
#include "helper/transaction/posix_file.hpp"

namespace nubrik {

namespace {

Date now() {
  return std::chrono::system_clock::now();
}

void ensureSupportDirectory() {
  const std::string directory = StateLocation::supportDirectory();
  if (const int error = makeDirectories(directory); error != 0) {
    throw systemError(error, "create directory " + directory);
  }
}

// Replaces a private state file atomically. The temporary file is 0600 before it holds a
// single byte, so the record is never readable by others, not even for a moment.
void writePrivateFile(std::string_view bytes, const std::string& path) {
  const std::string pattern = path + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) throw systemError(errno, "create temporary file for " + path);
  replacePrivateFile(fd, buffer.data(), bytes, path);
}

void removeIfPresent(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw systemError(errno, "remove " + path);
}

}  // namespace

std::string SessionStore::sessionFileURL() {
  return StateLocation::sessionFile();
}
std::string SessionStore::pendingMarkerURL() {
  return StateLocation::recoveryPendingFile();
}
std::string SessionStore::stateLockURL() {
  return StateLocation::stateLockFile();
}
std::string SessionStore::statusURL() {
  return StateLocation::statusFile();
}
std::string SessionStore::generationURL() {
  return StateLocation::generationFile();
}

SessionFileSystem SessionStore::productionFileSystem() {
  SessionFileSystem fs;
  fs.markerExists = [] { return pathExists(pendingMarkerURL()); };
  fs.readMarker = [] { return decodeMarker(readWholeFile(pendingMarkerURL())); };
  fs.sessionExists = [] { return pathExists(sessionFileURL()); };
  fs.readSession = [] { return readWholeFile(sessionFileURL()); };
  fs.writeMarker = [](const RecoveryPendingMarker& marker) { writePendingMarker(marker); };
  fs.quarantineSession = [] { return quarantine(sessionFileURL()); };
  fs.log = [](const std::string& message) { nubrik::log(message); };
  fs.now = [] { return now(); };
  return fs;
}

SessionLoadResult SessionStore::loadSession() {
  return SessionLoader::load(productionFileSystem());
}

std::optional<OfflineSession> SessionStore::load() {
  SessionLoadResult result = loadSession();
  if (auto* session = std::get_if<OfflineSession>(&result)) return std::move(*session);
  return std::nullopt;
}

void SessionStore::save(const OfflineSession& session) {
  HelperTransaction::invalidateSnapshot();
  ensureSupportDirectory();
  writePrivateFile(encodeSession(session), sessionFileURL());
}

void SessionStore::writePendingMarker(const RecoveryPendingMarker& marker) {
  HelperTransaction::invalidateSnapshot();
  ensureSupportDirectory();
  writePrivateFile(encodeMarker(marker), pendingMarkerURL());
}

void SessionStore::deleteSession() {
  HelperTransaction::invalidateSnapshot();
  removeIfPresent(sessionFileURL());
}

void SessionStore::clearRecoveryPending() {
  HelperTransaction::invalidateSnapshot();
  removeIfPresent(pendingMarkerURL());
}

void SessionStore::finishRecovery() {
  HelperTransaction::invalidateSnapshot();
  // The session goes first: should its removal fail, the marker keeps the recovery owed.
  removeIfPresent(sessionFileURL());
  clearRecoveryPending();
}

std::optional<std::string> SessionStore::quarantine(const std::string& sessionPath) {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(now().time_since_epoch()).count();
  const std::string target =
      joinPath(StateLocation::supportDirectory(), "session.corrupt." + std::to_string(seconds));
  if (const int error = moveWithoutReplacing(sessionPath, target); error != 0) {
    nubrik::log(std::string("could not quarantine corrupt session file: ") +
                systemError(error, "move " + sessionPath + " to " + target).what());
    return std::nullopt;
  }
  return target;
}

HelperStatus SessionStore::status(const std::optional<OfflineSession>& session, Date at) {
  return HelperStatus::derive(session, at);
}

void SessionStore::writeStatus(const std::optional<OfflineSession>& session) {
  writeStatus(status(session, now()));
}

void SessionStore::writeStatus(const HelperStatus& helperStatus) {
  HelperTransaction::invalidateSnapshot();
  std::string bytes;
  try {
    bytes = encodeStatus(helperStatus);
    AtomicPublicFile::write(bytes, statusURL());
  } catch (...) {
    // Readers see the unfinished generation as busy until a later publication succeeds.
    return;
  }
  HelperTransaction::markSnapshotPublished();
}

void SessionStore::writeStatusIdle() {
  writeStatus(HelperStatus::idle());
}

void SessionStore::writeStatusPending() {
  writeStatus(HelperStatus::pending());
}

}  // namespace nubrik
