#include "helper/store/session_store.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "core/file_read.hpp"
#include "core/helper_status.hpp"
#include "core/posix_file.hpp"
#include "core/public_status.hpp"
#include "core/session_clock.hpp"
#include "core/state_location.hpp"
#include "helper/log/log.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/transaction/helper_transaction.hpp"

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

void removeIfPresent(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw systemError(errno, "remove " + path);
}

std::string secondsStamp() {
  return std::to_string(
      std::chrono::duration_cast<std::chrono::seconds>(now().time_since_epoch()).count());
}

// A session record this large is no record the helper wrote; it is judged unreadable without
// being read into memory. Even thousands of links take a small fraction of this.
constexpr size_t maximumSessionFileBytes = 4 * 1024 * 1024;
constexpr size_t maximumMarkerFileBytes = 64 * 1024;

// How long a session file may refuse to be read, for reasons that pass by themselves, before it
// is judged unreadable after all: long enough to ride out a moment's trouble, short enough that
// a record that stays unreadable still ends in the network coming back.
constexpr auto transientReadGrace = std::chrono::seconds(60);

std::string readSessionFile() {
  // Process-wide on purpose: the grace spans ticks. Only the state executor's thread reads it.
  static std::optional<std::chrono::steady_clock::time_point> failingSince;
  try {
    std::string bytes = readWholeFile(SessionStore::sessionFileURL(), maximumSessionFileBytes);
    failingSince.reset();
    return bytes;
  } catch (const std::system_error& error) {
    if (!isTransientReadError(error.code().value())) throw;
    const auto at = std::chrono::steady_clock::now();
    if (!failingSince) failingSince = at;
    if (at - *failingSince < transientReadGrace) throw SessionUnreadableNow(error.what());
    throw;
  }
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
  fs.readMarker = [] {
    return decodeMarker(readWholeFile(pendingMarkerURL(), maximumMarkerFileBytes));
  };
  fs.sessionExists = [] { return pathExists(sessionFileURL()); };
  fs.readSession = [] { return readSessionFile(); };
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
  replaceFileAtomically(encodeSession(session), sessionFileURL(), 0600);
}

void SessionStore::writePendingMarker(const RecoveryPendingMarker& marker) {
  HelperTransaction::invalidateSnapshot();
  ensureSupportDirectory();
  replaceFileAtomically(encodeMarker(marker), pendingMarkerURL(), 0600);
}

void SessionStore::deleteSession() {
  HelperTransaction::invalidateSnapshot();
  removeIfPresent(sessionFileURL());
}

void SessionStore::clearRecoveryPending() {
  HelperTransaction::invalidateSnapshot();
  const std::string path = pendingMarkerURL();
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return;
    throw systemError(errno, "stat " + path);
  }
  // Something other than a marker file at the marker's place (a directory, say) cannot be
  // removed like one; it is moved aside, so that it neither wedges the helper in recovery for
  // ever nor disappears unseen.
  if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
    removeIfPresent(path);
  } else {
    moveAside(path, StateLocation::supportDirectory(),
              "recovery-pending.corrupt." + secondsStamp());
  }
}

void SessionStore::finishRecovery() {
  HelperTransaction::invalidateSnapshot();
  // A session file still here is the record that could not be trusted: it is evidence, kept
  // aside rather than deleted. It goes first: should the move fail, the marker keeps the
  // recovery owed.
  if (pathExists(sessionFileURL())) {
    const std::string kept = moveAside(sessionFileURL(), StateLocation::supportDirectory(),
                                       "session.corrupt." + secondsStamp());
    nubrik::diagnose("corrupt session record kept as " + kept);
  }
  clearRecoveryPending();
}

std::optional<std::string> SessionStore::quarantine(const std::string& sessionPath) {
  try {
    return moveAside(sessionPath, StateLocation::supportDirectory(),
                     "session.corrupt." + secondsStamp());
  } catch (const std::exception& error) {
    nubrik::log(std::string("could not quarantine corrupt session file: ") + error.what());
    return std::nullopt;
  }
}

HelperStatus SessionStore::status(const std::optional<OfflineSession>& session, Date at) {
  return HelperStatus::derive(session, at);
}

void SessionStore::writeStatus(const std::optional<OfflineSession>& session) {
  const Date wall = now();
  writeStatus(status(session, session ? sessionNow(*session, wall, readBootClock()) : wall));
}

void SessionStore::writeStatus(const HelperStatus& helperStatus) {
  HelperTransaction::invalidateSnapshot();
  // The transaction could not mark the change as under way, so readers could not tell this
  // status from a torn one; it stays withdrawn until a transaction can.
  if (!HelperTransaction::publicationAllowed()) return;
  std::string bytes;
  try {
    bytes = encodeStatus(helperStatus);
    replaceFileAtomically(bytes, statusURL(), 0644);
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
