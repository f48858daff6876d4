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
#include "helper/store/session_load_result.hpp"

namespace nubrik {

namespace {

void removeIfPresent(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw systemError(errno, "remove " + path);
}

// A session record this large is no record the helper wrote; it is judged unreadable without
// being read into memory. Even thousands of links take a small fraction of this.
constexpr size_t maximumSessionFileBytes = 4 * 1024 * 1024;
constexpr size_t maximumMarkerFileBytes = 64 * 1024;

// How long a session file may refuse to be read, for reasons that pass by themselves, before it
// is judged unreadable after all: long enough to ride out a moment's trouble, short enough that
// a record that stays unreadable still ends in the network coming back.
constexpr auto transientReadGrace = std::chrono::seconds(60);

std::string readSessionFile(const std::string& path) {
  // Process-wide on purpose: the grace spans ticks. Only the state executor's thread reads it.
  static std::optional<std::chrono::steady_clock::time_point> failingSince;
  try {
    std::string bytes = readWholeFile(path, maximumSessionFileBytes);
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

SessionStore::SessionStore(StatePaths paths, StatusSnapshot& snapshot, Clock clock,
                           LogOperation log)
    : paths_(std::move(paths)),
      snapshot_(snapshot),
      clock_(std::move(clock)),
      log_(std::move(log)) {}

void SessionStore::ensureSupportDirectory() const {
  if (const int error = makeDirectories(paths_.supportDirectory); error != 0) {
    throw systemError(error, "create directory " + paths_.supportDirectory);
  }
}

std::string SessionStore::secondsStamp() const {
  return std::to_string(
      std::chrono::duration_cast<std::chrono::seconds>(clock_().time_since_epoch()).count());
}

SessionFileSystem SessionStore::fileSystem() {
  SessionFileSystem fs;
  fs.markerExists = [this] { return pathExists(paths_.recoveryPendingFile); };
  fs.readMarker = [this] {
    return decodeMarker(readWholeFile(paths_.recoveryPendingFile, maximumMarkerFileBytes));
  };
  fs.sessionExists = [this] { return pathExists(paths_.sessionFile); };
  fs.readSession = [this] { return readSessionFile(paths_.sessionFile); };
  fs.writeMarker = [this](const RecoveryPendingMarker& marker) { writePendingMarker(marker); };
  fs.quarantineSession = [this] { return quarantine(paths_.sessionFile); };
  fs.log = log_;
  fs.now = clock_;
  return fs;
}

SessionLoadResult SessionStore::loadSession() {
  return SessionLoader::load(fileSystem());
}

std::optional<OfflineSession> SessionStore::load() {
  SessionLoadResult result = loadSession();
  if (auto* session = std::get_if<OfflineSession>(&result)) return std::move(*session);
  return std::nullopt;
}

void SessionStore::save(const OfflineSession& session) {
  snapshot_.stateChanged();
  ensureSupportDirectory();
  replaceFileAtomically(encodeSession(session), paths_.sessionFile, 0600);
}

void SessionStore::writePendingMarker(const RecoveryPendingMarker& marker) {
  snapshot_.stateChanged();
  ensureSupportDirectory();
  replaceFileAtomically(encodeMarker(marker), paths_.recoveryPendingFile, 0600);
}

void SessionStore::deleteSession() {
  snapshot_.stateChanged();
  removeIfPresent(paths_.sessionFile);
}

void SessionStore::clearRecoveryPending() {
  snapshot_.stateChanged();
  const std::string path = paths_.recoveryPendingFile;
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
    moveAside(path, paths_.supportDirectory, "recovery-pending.corrupt." + secondsStamp());
  }
}

void SessionStore::finishRecovery() {
  snapshot_.stateChanged();
  // A session file still here is the record that could not be trusted: it is evidence, kept
  // aside rather than deleted. It goes first: should the move fail, the marker keeps the
  // recovery owed.
  if (pathExists(paths_.sessionFile)) {
    const std::string kept =
        moveAside(paths_.sessionFile, paths_.supportDirectory, "session.corrupt." + secondsStamp());
    nubrik::diagnose("corrupt session record kept as " + kept);
  }
  clearRecoveryPending();
}

std::optional<std::string> SessionStore::quarantine(const std::string& sessionPath) {
  try {
    return moveAside(sessionPath, paths_.supportDirectory, "session.corrupt." + secondsStamp());
  } catch (const std::exception& error) {
    log_(std::string("could not quarantine corrupt session file: ") + error.what());
    return std::nullopt;
  }
}

void SessionStore::writeStatus(const std::optional<OfflineSession>& session) {
  const Date wall = clock_();
  writeStatus(
      HelperStatus::derive(session, session ? sessionNow(*session, wall, readBootClock()) : wall));
}

void SessionStore::writeStatus(const HelperStatus& helperStatus) {
  snapshot_.stateChanged();
  // The transaction could not mark the change as under way, so readers could not tell this
  // status from a torn one; it stays withdrawn until a transaction can.
  if (!snapshot_.mayPublish()) return;
  std::string bytes;
  try {
    bytes = encodeStatus(helperStatus);
    replaceFileAtomically(bytes, paths_.statusFile, 0644);
  } catch (...) {
    // Readers see the unfinished generation as busy until a later publication succeeds.
    return;
  }
  snapshot_.statusPublished();
}

void SessionStore::writeStatusIdle() {
  writeStatus(HelperStatus::idle());
}

void SessionStore::writeStatusPending() {
  writeStatus(HelperStatus::pending());
}

}  // namespace nubrik
