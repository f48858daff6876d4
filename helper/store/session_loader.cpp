#include <string>

#include "core/session.hpp"
#include "core/session_clock.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/store/session_store.hpp"

namespace nubrik {

SessionLoadResult SessionLoader::load(const SessionFileSystem& fs) {
  // A marker means a fail-open restore is owed, whatever else is stored; even a marker that
  // cannot be read still says so.
  if (fs.markerExists()) {
    try {
      return fs.readMarker();
    } catch (...) {
      return RecoveryPendingMarker{fs.now(), CorruptReason::unreadable, std::nullopt};
    }
  }
  if (!fs.sessionExists()) return SessionAbsent{};

  std::string bytes;
  try {
    bytes = fs.readSession();
  } catch (const SessionUnreadableNow&) {
    throw;
  } catch (...) {
    return recordCorruption(CorruptReason::unreadable, fs);
  }

  OfflineSession session;
  try {
    session = decodeSession(bytes);
  } catch (...) {
    return recordCorruption(CorruptReason::undecodable, fs);
  }
  if (!session.active) return SessionAbsent{};
  // However the record came to say otherwise, no session lasts longer than the maximum.
  boundSessionLength(session);
  return session;
}

SessionLoadResult SessionLoader::recordCorruption(CorruptReason reason,
                                                  const SessionFileSystem& fs) {
  const std::string raw(rawString(reason));
  RecoveryPendingMarker marker{fs.now(), reason, std::nullopt};

  // The marker goes down before the evidence moves: if we crash in between, the next load
  // still finds the recovery owed.
  try {
    fs.writeMarker(marker);
  } catch (...) {
    fs.log("corrupt session state (" + raw +
           ") but recovery-pending marker could not be persisted; evidence left in place");
    return CorruptSessionInfo{reason, std::nullopt, false};
  }

  const std::optional<std::string> path = fs.quarantineSession();
  if (!path) {
    fs.log("corrupt session state (" + raw +
           "); quarantine failed; original record retained as evidence; recovery pending");
    return CorruptSessionInfo{reason, std::nullopt, true};
  }

  marker.quarantinedPath = *path;
  try {
    fs.writeMarker(marker);
  } catch (...) {
    fs.log("corrupt session state (" + raw + "); evidence quarantined at " + *path +
           " but marker finalization failed; initial marker remains");
  }
  fs.log("corrupt session state (" + raw + "); evidence: " + *path + "; recovery pending");
  return CorruptSessionInfo{reason, path, true};
}

}  // namespace nubrik
